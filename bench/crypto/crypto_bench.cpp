// Throughput over 16 KiB: RC4 and MD5 against OpenSSL, and the hex codec both ways; and the
// codec, the cipher's keystream and the ANSI conversion at the payload sizes of presence records
// (20 to 60 bytes). The processor's model is printed first, since the ratios move between
// processors. On a shared machine compare the median CPU times of interleaved repetitions:
//   crypto_bench --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true
//                --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <openssl/md5.h>
#include <openssl/rc4.h>

#include <array>
#include <fstream>
#include <random>
#include <string>

#include "crypto/hex.h"
#include "crypto/md5.h"
#include "crypto/md5_engine.h"
#include "crypto/rc4.h"
#include "crypto/rc4_stream.h"
#include "presence/record.h"

namespace wq {
namespace {

constexpr size_t kSize = 16 * 1024;

std::vector<uint8_t> RandomBytes() {
  std::mt19937 rng(16);
  std::vector<uint8_t> bytes(kSize);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// Printable text; with latin set, one character in eight is a Latin-1 letter.
Text RandomText(bool latin) {
  std::mt19937 rng(32);
  Text text(kSize, u' ');
  for (auto& c : text) {
    c = latin && rng() % 8 == 0 ? static_cast<char16_t>(0xC0 + rng() % 64)
                                : static_cast<char16_t>(0x20 + rng() % 95);
  }
  return text;
}

// The processor's model from /proc/cpuinfo, for the context of the figures.
std::string ProcessorModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string model;
  for (std::string line; std::getline(cpuinfo, line);) {
    // "model name", then the family and model numbers (which tell processor generations apart
    // where a virtual machine names only the brand).
    for (const char* field : {"model name", "cpu family", "model\t"}) {
      if (line.rfind(field, 0) == 0) model += (model.empty() ? "" : ", ") + line;
    }
    if (line.empty() && !model.empty()) break;
  }
  return model.empty() ? "unknown" : model;
}

const AnsiCodePage& Cp1252() {
  static const auto page = AnsiCodePage::Open("CP1252");
  return *page;
}

void BM_Rc4_Ours(benchmark::State& state) {
  clsRC4 rc4(Cp1252());
  ByteArray data = RandomBytes();
  const Text key = presence::kPresenceKey;
  for (auto _ : state) {
    rc4.EncryptByte(data, key);  // same key: no schedule, a fresh keystream each call
    benchmark::DoNotOptimize(data->data());
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_Rc4_Ours);

void BM_Rc4_OpenSsl(benchmark::State& state) {
  std::vector<uint8_t> data = RandomBytes();
  const std::string key = "PresenceLedgerSeal";
  RC4_KEY keyed;
  RC4_set_key(&keyed, static_cast<int>(key.size()), reinterpret_cast<const uint8_t*>(key.data()));
  for (auto _ : state) {
    RC4_KEY working = keyed;  // a fresh keystream each call, as ours
    RC4(&working, data.size(), data.data(), data.data());
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_Rc4_OpenSsl);

// MD5Digest takes a text: 16 Ki characters, converted to CP1252 on the way.
void BM_Md5_Ours_AsciiText(benchmark::State& state) {
  const Text text = RandomText(false);
  for (auto _ : state) benchmark::DoNotOptimize(MD5Digest(text, Cp1252()));
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_Md5_Ours_AsciiText);

void BM_Md5_Ours_LatinText(benchmark::State& state) {
  const Text text = RandomText(true);
  for (auto _ : state) benchmark::DoNotOptimize(MD5Digest(text, Cp1252()));
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_Md5_Ours_LatinText);

void BM_Md5_Ours_Bytes(benchmark::State& state) {
  const std::vector<uint8_t> data = RandomBytes();
  for (auto _ : state) {
    Md5Engine engine;
    engine.Update(data.data(), data.size());
    benchmark::DoNotOptimize(engine.Finish());
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_Md5_Ours_Bytes);

void BM_Md5_OpenSsl(benchmark::State& state) {
  const std::vector<uint8_t> data = RandomBytes();
  unsigned char digest[MD5_DIGEST_LENGTH];
  for (auto _ : state) {
    MD5(data.data(), data.size(), digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_Md5_OpenSsl);

// Bytes processed counts the 16 KiB of bytes (the text is twice as many characters).
void BM_Hex_Encode(benchmark::State& state) {
  const ByteArray data = RandomBytes();
  for (auto _ : state) benchmark::DoNotOptimize(ByteArrayToHex(data));
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_Hex_Encode);

void BM_Hex_Decode(benchmark::State& state) {
  const Text hex = ByteArrayToHex(RandomBytes());
  ByteArray data;
  for (auto _ : state) {
    HexToByteArray(hex, data);
    benchmark::DoNotOptimize(data->data());
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}
BENCHMARK(BM_Hex_Decode);

// Payload sizes: the keystream generated afresh from a keyed state (what every call cost
// before the keystream was kept), and the call with the keystream kept.
void BM_Rc4_Stream_Payload(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> data = RandomBytes();
  std::array<uint8_t, 256> keyed;
  for (size_t k = 0; k < keyed.size(); ++k) keyed[k] = static_cast<uint8_t>(k * 167 + 13);
  for (auto _ : state) {
    Rc4Stream stream;
    stream.Start(keyed);
    stream.Apply(data.data(), size);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Rc4_Stream_Payload)->Arg(20)->Arg(40)->Arg(60);

void BM_Rc4_Kept_Payload(benchmark::State& state) {
  clsRC4 rc4(Cp1252());
  ByteArray data = RandomBytes();
  data->resize(static_cast<size_t>(state.range(0)));
  const Text key = presence::kPresenceKey;
  for (auto _ : state) {
    rc4.EncryptByte(data, key);
    benchmark::DoNotOptimize(data->data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Rc4_Kept_Payload)->Arg(20)->Arg(40)->Arg(60);

void BM_Hex_Decode_Payload(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> bytes = RandomBytes();
  bytes.resize(size);
  const Text hex = ByteArrayToHex(bytes);
  ByteArray data;
  for (auto _ : state) {
    HexToByteArray(hex, data);
    benchmark::DoNotOptimize(data->data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Hex_Decode_Payload)->Arg(20)->Arg(40)->Arg(60);

void BM_Ansi_Encode_Payload(benchmark::State& state) {
  const Text text = RandomText(false).substr(0, static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Cp1252().Encode(text));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Ansi_Encode_Payload)->Arg(20)->Arg(40)->Arg(60);

}  // namespace
}  // namespace wq

int main(int argc, char** argv) {
  benchmark::AddCustomContext("processor", wq::ProcessorModel());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

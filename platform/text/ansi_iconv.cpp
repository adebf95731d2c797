// AnsiCodePage on Linux: iconv does the conversions. Single-byte code pages are turned into two
// lookup tables when they are opened, so their conversions take no lock and no iconv call;
// multi-byte code pages (CP936, UTF-8, ...) go through one locked pair of iconv handles.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/error.h"
#include "platform/text/ansi.h"

namespace wq {
namespace {

constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kReplacement = 0xFFFD;

class IconvHandle {
 public:
  IconvHandle(const std::string& to, const std::string& from)
      : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~IconvHandle() {
    if (ok()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  void Reset() { iconv(handle_, nullptr, nullptr, nullptr, nullptr); }

  // One iconv step; returns 0 or the errno of the step.
  int Step(const char** in, size_t* inLeft, char** out, size_t* outLeft) {
    if (iconv(handle_, const_cast<char**>(in), inLeft, out, outLeft) != static_cast<size_t>(-1)) {
      return 0;
    }
    return errno;
  }
  // Writes the shift sequence that returns a stateful encoding to its initial state.
  int Flush(char** out, size_t* outLeft) {
    if (iconv(handle_, nullptr, nullptr, out, outLeft) != static_cast<size_t>(-1)) return 0;
    return errno;
  }

 private:
  iconv_t handle_;
};

class IconvCodePage final : public AnsiCodePage {
 public:
  explicit IconvCodePage(const std::string& name)
      : name_(name), encoder_(name, kUtf16), decoder_(kUtf16, name) {
    if (name.empty() || name.find('/') != std::string::npos || !encoder_.ok() || !decoder_.ok()) {
      throw Error::InvalidProcedureCall("unknown code page \"" + name + "\"");
    }
    // Every ASCII character must take one byte, as in every ANSI code page; this turns away
    // UTF-16, UTF-32 and similar encodings.
    for (char16_t c = 0; c < 0x80; ++c) {
      Bytes one;
      EncodeUnits(&c, 1, one);
      if (one.size() != 1) {
        throw Error::InvalidProcedureCall("code page \"" + name + "\" is not a byte code page");
      }
      if (c == u'?') question_ = one[0];
      asciiSame_ = asciiSame_ && one[0] == c;
    }
    singleByte_ = ProbeSingleByte();
    if (singleByte_) BuildTables();
  }

  const std::string& name() const override { return name_; }

  Bytes Encode(TextView text) const override {
    Bytes out;
    if (singleByte_) {
      out.resize(text.size());
      EncodeSingleByte(text, out.data());
    } else if (asciiSame_ && IsAscii(text)) {
      // Multi-byte pages that keep ASCII as it is (CP936, CP932, ...): the common case of a
      // presence payload, without the converter and its lock.
      out.assign(text.begin(), text.end());
    } else {
      std::lock_guard<std::mutex> lock(mutex_);
      EncodeUnits(text.data(), text.size(), out);
    }
    return out;
  }

  Text Decode(const uint8_t* data, size_t size) const override {
    Text out;
    if (singleByte_) {
      out.resize(size);
      for (size_t i = 0; i < size; ++i) out[i] = decodeTable_[data[i]];
    } else {
      std::lock_guard<std::mutex> lock(mutex_);
      DecodeBytes(data, size, out);
    }
    return out;
  }

  uint32_t CharCode(char16_t c) const override {
    if (singleByte_) return encodeTable_[c];
    std::lock_guard<std::mutex> lock(mutex_);
    return MultiByteCharCode(c);
  }

  void CodeBytes(TextView text, uint8_t* out) const override {
    if (singleByte_) {
      EncodeSingleByte(text, out);
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < text.size(); ++i) {
      out[i] = static_cast<uint8_t>(MultiByteCharCode(text[i]));
    }
  }

 private:
  // A code page is single-byte when no byte starts a longer sequence and every byte that decodes
  // gives exactly one UTF-16 unit.
  bool ProbeSingleByte() {
    for (int b = 0; b < 256; ++b) {
      const uint8_t byte = static_cast<uint8_t>(b);
      const char* in = reinterpret_cast<const char*>(&byte);
      size_t inLeft = 1;
      char16_t units[4];
      char* out = reinterpret_cast<char*>(units);
      size_t outLeft = sizeof units;
      decoder_.Reset();
      const int err = decoder_.Step(&in, &inLeft, &out, &outLeft);
      const size_t produced = (sizeof units - outLeft) / sizeof(char16_t);
      if (err == EINVAL || (err == 0 && produced != 1) || (err != 0 && err != EILSEQ)) {
        return false;
      }
      decodeTable_[b] = err == 0 ? units[0] : kReplacement;
    }
    return true;
  }

  // The encode table is the inverse of the decode table: exactly the characters that survive a
  // round trip have a byte, every other one becomes '?'.
  void BuildTables() {
    encodeTable_ = std::make_unique<uint8_t[]>(0x10000);
    std::memset(encodeTable_.get(), question_, 0x10000);
    for (int b = 255; b >= 0; --b) {
      if (decodeTable_[b] != kReplacement) encodeTable_[decodeTable_[b]] = static_cast<uint8_t>(b);
    }
  }

  void EncodeSingleByte(TextView text, uint8_t* out) const {
    const uint8_t* table = encodeTable_.get();
    for (size_t i = 0; i < text.size(); ++i) out[i] = table[text[i]];
  }

  // Multi-byte path; the caller holds mutex_ (or is the constructor). Unrepresentable units
  // become '?', one per UTF-16 unit.
  void EncodeUnits(const char16_t* units, size_t count, Bytes& out) const {
    encoder_.Reset();
    const char* in = reinterpret_cast<const char*>(units);
    size_t inLeft = count * sizeof(char16_t);
    size_t used = out.size();
    out.resize(used + count * 2 + 16);
    auto grow = [&] { out.resize(out.size() * 2 + 16); };
    while (inLeft > 0) {
      char* dst = reinterpret_cast<char*>(out.data() + used);
      size_t dstLeft = out.size() - used;
      const int err = encoder_.Step(&in, &inLeft, &dst, &dstLeft);
      used = out.size() - dstLeft;
      if (err == E2BIG) {
        grow();
      } else if (err == EILSEQ || err == EINVAL) {
        // EINVAL: a high surrogate that ends the text.
        if (used == out.size()) grow();
        out[used++] = question_;
        const size_t skip = std::min(inLeft, sizeof(char16_t));
        in += skip;
        inLeft -= skip;
      } else if (err != 0) {
        break;  // Any other failure: keep what was converted.
      }
    }
    // Return a stateful encoding to its initial shift state.
    for (;;) {
      char* dst = reinterpret_cast<char*>(out.data() + used);
      size_t dstLeft = out.size() - used;
      const int err = encoder_.Flush(&dst, &dstLeft);
      used = out.size() - dstLeft;
      if (err != E2BIG) break;
      grow();
    }
    out.resize(used);
  }

  // Undecodable bytes become U+FFFD, one per byte; a sequence cut off at the end becomes one.
  void DecodeBytes(const uint8_t* data, size_t size, Text& out) const {
    decoder_.Reset();
    const char* in = reinterpret_cast<const char*>(data);
    size_t inLeft = size;
    size_t used = 0;
    out.resize(size + 8);
    while (inLeft > 0) {
      char* dst = reinterpret_cast<char*>(out.data() + used);
      size_t dstLeft = (out.size() - used) * sizeof(char16_t);
      const int err = decoder_.Step(&in, &inLeft, &dst, &dstLeft);
      used = out.size() - dstLeft / sizeof(char16_t);
      if (err == E2BIG) {
        out.resize(out.size() * 2 + 8);
      } else if (err == EILSEQ) {
        if (used == out.size()) out.resize(out.size() * 2 + 8);
        out[used++] = kReplacement;
        ++in;
        --inLeft;
      } else if (err == EINVAL) {
        if (used == out.size()) out.resize(out.size() + 1);
        out[used++] = kReplacement;
        break;
      } else if (err != 0) {
        break;
      }
    }
    out.resize(used);
  }

  uint32_t MultiByteCharCode(char16_t c) const {
    Bytes bytes;
    EncodeUnits(&c, 1, bytes);
    uint32_t code = 0;
    for (uint8_t b : bytes) code = (code << 8) | b;
    return bytes.empty() ? question_ : code;
  }

  std::string name_;
  mutable std::mutex mutex_;
  mutable IconvHandle encoder_;
  mutable IconvHandle decoder_;
  static bool IsAscii(TextView text) {
    char16_t seen = 0;
    for (char16_t c : text) seen |= c;
    return seen < 0x80;
  }

  uint8_t question_ = '?';
  bool asciiSame_ = true;  // every ASCII character encodes as its own code
  bool singleByte_ = false;
  std::array<char16_t, 256> decodeTable_{};
  std::unique_ptr<uint8_t[]> encodeTable_;
};

// The code page named by WEBQUORREL_CODEPAGE, else the one of the process's locale as the
// environment sets it (without touching the process's own locale).
std::string ProcessCodePageName() {
  const char* configured = std::getenv("WEBQUORREL_CODEPAGE");
  if (configured != nullptr && *configured != '\0') return configured;
  std::string codeset;
  if (locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
    codeset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
  }
  // The plain C locale is 7-bit ASCII; Windows' Western default is the closest ANSI code page.
  if (codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII") return "CP1252";
  return codeset;
}

}  // namespace

std::unique_ptr<AnsiCodePage> AnsiCodePage::Open(const std::string& name) {
  return std::make_unique<IconvCodePage>(name);
}

const AnsiCodePage& AnsiCodePage::Process() {
  // A failed choice throws out of the initialiser, so every later call reports it again.
  static const std::unique_ptr<AnsiCodePage> process = Open(ProcessCodePageName());
  return *process;
}

}  // namespace wq

// The fuzz targets' main when they are built as ordinary tests (GCC, no libFuzzer): runs the
// target once over each file named, or each file in each folder named, and fails on the first
// input that crashes or breaks a property (the target aborts). Inputs are all read first, since
// a target's set-up may change the working folder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<std::pair<std::string, std::string>> inputs;  // name, bytes
  auto read = [&](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return false;
    }
    inputs.emplace_back(path.string(), std::string(std::istreambuf_iterator<char>(in), {}));
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (fs::is_directory(argv[i], ec)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(argv[i])) {
        if (entry.is_regular_file() && !read(entry.path())) return 1;
      }
    } else if (!read(argv[i])) {
      return 1;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s FILE|FOLDER...: no inputs\n", argv[0]);
    return 1;
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  for (const auto& [name, bytes] : inputs) {
    std::fprintf(stderr, "%s\n", name.c_str());  // the input a crash happened on
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs ok\n", inputs.size());
  return 0;
}

// Rotation of the trace file while several writers append at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "frame/trace_platform.h"
#include "tests/temp_dir.h"

namespace wq::frame {
namespace {

namespace fs = std::filesystem;

size_t Lines(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return static_cast<size_t>(
      std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

// Four writers, 2000 lines of 100 bytes, a limit of 150 000 bytes: exactly one rotation, and
// every line is either in the file or in file.1. Two writers that both saw a full file and both
// rotated would move the fresh file over the full one and lose its lines.
TEST(TraceFile, ConcurrentWritersRotateOnceAndLoseNoLine) {
  const fs::path dir = wq::testing::MakeTempDir("trace");
  const Text path = FromUtf8((dir / "trace.log").string());
  const std::string line(99, 'x');
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([&] {
      for (int i = 0; i < 500; ++i) EXPECT_TRUE(trace_platform::AppendLine(path, line, 150000));
    });
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(Lines(dir / "trace.log") + Lines(dir / "trace.log.1"), 2000u);
  EXPECT_GE(fs::file_size(dir / "trace.log.1"), 150000u);
  EXPECT_LT(fs::file_size(dir / "trace.log.1"), 150100u);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace wq::frame

// Where tests keep their files: below WEBQUORREL_TEST_TMP (scripts/test sets it), else /tmp.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace wq::testing {

// A path for a test's file, unique to this process.
inline std::string TempPath(const std::string& name) {
  const char* root = std::getenv("WEBQUORREL_TEST_TMP");
  return std::string(root != nullptr && *root ? root : "/tmp") + "/wq-" + std::to_string(getpid()) +
         "-" + name;
}

// A fresh folder for a test's files; the test removes it.
inline std::filesystem::path MakeTempDir(const std::string& name) {
  std::string pattern = TempPath(name + "-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
  return pattern;
}

}  // namespace wq::testing

// The embedded engine's connection strings: "Provider=SQLite;" and the fuzz text. Files are only
// opened inside a fresh temporary folder (the process works there): a Data Source that could
// name anything else (a '/', "..", a URI) is only parsed.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/db/register.h"
#include "platform/db/connection_string.h"
#include "platform/error.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

bool Harmless(const wq::Text& path) {
  if (path.size() > 40 || path.find(u"..") != wq::Text::npos) return false;
  for (char16_t c : path) {
    bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
              c == u'.' || c == u'-' || c == u'_' || c == u' ';
    if (!ok) return false;
  }
  return path.rfind(u"file", 0) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static std::string dir = (std::filesystem::temp_directory_path() / "wq-fuzz-XXXXXX").string();
  if (!mkdtemp(dir.data()) || chdir(dir.c_str()) != 0) abort();
  atexit([] { std::filesystem::remove_all(dir); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wq;
  const Text text = u"Provider=SQLite;" + fuzz::AnyText(data, size);
  std::optional<Text> path;
  try {
    db::ConnectionString cs = db::ConnectionString::Parse(text);
    path = cs.Get(u"Data Source");
    std::optional<Text> provider = cs.Get(u"Provider");
    if (!provider || !EqualsIgnoreCase(*provider, u"SQLite")) return 0;  // another engine's
    if (path && !path->empty() && !Harmless(*path)) return 0;
  } catch (const Error&) {
    return 0;
  }
  try {
    auto reg = db::Register::Open(text);
    if (!reg->ServerClock()) fuzz::Violated("the database answered wrong");
    reg->Close();
  } catch (const Error&) {
  }
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    std::filesystem::remove_all(entry.path(), ignored);
  }
  return 0;
}

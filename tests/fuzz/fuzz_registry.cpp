// The registry file reader and writer: any file text is read line by line without failing, and
// storing values then finds exactly them, every other line kept byte for byte. The input is
// "<file text>\x01<key>\x02<name>\x02<data>" (the value part optional).
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "frame/registry_file.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool Matches(const wq::frame::RegistryLine& line, const wq::frame::RegistryValue& value) {
  auto same = [](std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
      return std::tolower(x) == std::tolower(y);
    });
  };
  return same(line.key, wq::ToUtf8(value.key)) && same(line.name, wq::ToUtf8(value.name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wq;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\x01');
  const std::string_view file = input.substr(0, split);
  for (std::string_view line : Lines(file)) frame::ParseRegistryLine(line);
  if (split == std::string_view::npos) return 0;

  std::string_view rest = input.substr(split + 1);
  frame::RegistryValue value;
  size_t a = rest.find('\x02');
  auto text = [](std::string_view s) {
    return wq::fuzz::Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  value.key = text(rest.substr(0, a));
  if (a != std::string_view::npos) {
    rest = rest.substr(a + 1);
    size_t b = rest.find('\x02');
    value.name = text(rest.substr(0, b));
    if (b != std::string_view::npos) value.data = text(rest.substr(b + 1));
  }
  if (!frame::IsStorable(value)) return 0;

  const std::string added = frame::UpdateRegistryText(file, {value}, true);
  int found = 0;
  for (std::string_view line : Lines(added)) {
    std::optional<frame::RegistryLine> parsed = frame::ParseRegistryLine(line);
    if (parsed && Matches(*parsed, value)) {
      ++found;
      if (parsed->data != wq::ToUtf8(value.data))
        fuzz::Violated("stored data reads back different");
    }
  }
  if (found != 1) fuzz::Violated("a stored value is not found exactly once");
  const std::string removed = frame::UpdateRegistryText(added, {value}, false);
  for (std::string_view line : Lines(removed)) {
    std::optional<frame::RegistryLine> parsed = frame::ParseRegistryLine(line);
    if (parsed && Matches(*parsed, value)) fuzz::Violated("a removed value is still found");
  }
  return 0;
}

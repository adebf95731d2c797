// The registry file that stands in for the Windows registry where there is none. One value a
// line, in UTF-8:
//
//   HKCR\<key> = <data>             the key's default value
//   HKCR\<key> @<name> = <data>     a named value
//
// <key> uses '\' between levels, as on Windows; keys and names compare without regard to
// letter case. Every other line (comments starting with '#', blank lines, anything else) is
// kept as it is. A host resolves "webQuorrel.clsQuorrel" by reading
// "HKCR\webQuorrel.clsQuorrel\CLSID" and then "HKCR\CLSID\{...}\InprocServer32".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/registry.h"

namespace wq::frame {

struct RegistryLine {
  std::string key;   // without the "HKCR\" prefix
  std::string name;  // empty for the default value
  std::string data;
};

// The value a line holds, or nothing for lines that hold none.
std::optional<RegistryLine> ParseRegistryLine(std::string_view line);

// False for values this format cannot hold: line breaks or NULs anywhere, a key that is empty
// or holds " = " or " @", a name that holds " = ", a key or name that ends with " =".
bool IsStorable(const RegistryValue& value);

// The file's new text: every line that holds one of values' (key, name) pairs is dropped; with
// add, values are then appended (in order, one line each). Other lines keep their order and
// their bytes. Values must be storable.
std::string UpdateRegistryText(std::string_view text, const std::vector<RegistryValue>& values,
                               bool add);

}  // namespace wq::frame

// AnsiCodePage on Windows: the system's own conversions. Characters a code page lacks become its
// default character ('?'), undecodable bytes the default Unicode character, as Windows does.
#include <windows.h>

#include <climits>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/text/ansi.h"

namespace wq {
namespace {

int CheckedLength(size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) throw Error::Overflow("text too long to convert");
  return static_cast<int>(size);
}

class WindowsCodePage final : public AnsiCodePage {
 public:
  explicit WindowsCodePage(UINT codePage)
      : codePage_(codePage), name_("CP" + std::to_string(codePage)) {
    CPINFO info;
    if (!IsValidCodePage(codePage) || !GetCPInfo(codePage, &info)) {
      throw Error::InvalidProcedureCall("unknown code page \"" + name_ + "\"");
    }
    if (info.MaxCharSize > 2 && codePage != CP_UTF8) {
      throw Error::InvalidProcedureCall("code page \"" + name_ + "\" is not a byte code page");
    }
  }

  const std::string& name() const override { return name_; }

  Bytes Encode(TextView text) const override {
    Bytes out;
    if (text.empty()) return out;
    const auto* src = reinterpret_cast<const wchar_t*>(text.data());
    const int count = CheckedLength(text.size());
    const int needed = WideCharToMultiByte(codePage_, 0, src, count, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) throw Error::InvalidProcedureCall("text cannot be converted to " + name_);
    out.resize(static_cast<size_t>(needed));
    WideCharToMultiByte(codePage_, 0, src, count, reinterpret_cast<char*>(out.data()), needed,
                        nullptr, nullptr);
    return out;
  }

  Text Decode(const uint8_t* data, size_t size) const override {
    Text out;
    if (size == 0) return out;
    const auto* src = reinterpret_cast<const char*>(data);
    const int count = CheckedLength(size);
    const int needed = MultiByteToWideChar(codePage_, 0, src, count, nullptr, 0);
    if (needed <= 0) throw Error::InvalidProcedureCall("bytes cannot be converted from " + name_);
    out.resize(static_cast<size_t>(needed));
    MultiByteToWideChar(codePage_, 0, src, count, reinterpret_cast<wchar_t*>(out.data()), needed);
    return out;
  }

  uint32_t CharCode(char16_t c) const override {
    const wchar_t unit = static_cast<wchar_t>(c);
    unsigned char bytes[4] = {};
    const int n = WideCharToMultiByte(codePage_, 0, &unit, 1, reinterpret_cast<char*>(bytes),
                                      sizeof bytes, nullptr, nullptr);
    if (n <= 0) return '?';
    uint32_t code = 0;
    for (int i = 0; i < n; ++i) code = (code << 8) | bytes[i];
    return code;
  }

 private:
  UINT codePage_;
  std::string name_;
};

// "CP1252", "cp936", "1252" or "UTF-8"; 0 when the name is none of these.
UINT ParseCodePageName(const std::string& name) {
  if (name == "UTF-8" || name == "utf-8" || name == "UTF8" || name == "utf8") return CP_UTF8;
  size_t start = 0;
  if (name.size() > 2 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'P' || name[1] == 'p')) {
    start = 2;
  }
  if (start == name.size() || name.size() - start > 5) return 0;
  UINT value = 0;
  for (size_t i = start; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    value = value * 10 + static_cast<UINT>(name[i] - '0');
  }
  return value;
}

}  // namespace

std::unique_ptr<AnsiCodePage> AnsiCodePage::Open(const std::string& name) {
  const UINT codePage = ParseCodePageName(name);
  if (codePage == 0) throw Error::InvalidProcedureCall("unknown code page \"" + name + "\"");
  return std::make_unique<WindowsCodePage>(codePage);
}

const AnsiCodePage& AnsiCodePage::Process() {
  static const std::unique_ptr<AnsiCodePage> process = std::make_unique<WindowsCodePage>(GetACP());
  return *process;
}

}  // namespace wq

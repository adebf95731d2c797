// Conversions between texts and bytes in the process's ANSI code page.
//
// On Windows this is the system's ANSI code page. On Linux it is the code page named by
// WEBQUORREL_CODEPAGE (an iconv name: CP1252, CP936, UTF-8, ...), else the one of the process's
// locale, with the plain C/POSIX locale taken as CP1252. Characters that the code page cannot
// represent become '?', as Windows writes them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/text/text.h"

namespace wq {

using Bytes = std::vector<uint8_t>;

class AnsiCodePage {
 public:
  virtual ~AnsiCodePage() = default;

  // The code page of this process, chosen once. Throws Error (invalid procedure call) naming
  // the code page when WEBQUORREL_CODEPAGE names one that does not exist.
  static const AnsiCodePage& Process();
  // A named code page (iconv names on Linux, "CP<number>" on Windows); throws Error when unknown.
  static std::unique_ptr<AnsiCodePage> Open(const std::string& name);

  virtual const std::string& name() const = 0;
  virtual Bytes Encode(TextView text) const = 0;
  virtual Text Decode(const uint8_t* data, size_t size) const = 0;
  Text Decode(const Bytes& bytes) const { return Decode(bytes.data(), bytes.size()); }
  // The code of one character: its single byte, or lead * 256 + trail for a double-byte one.
  virtual uint32_t CharCode(char16_t c) const = 0;
  // The low byte of CharCode for each character of text, written to out[0 .. text.size()).
  // The message bytes of the digest; single-byte code pages do this in bulk.
  virtual void CodeBytes(TextView text, uint8_t* out) const {
    for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<uint8_t>(CharCode(text[i]));
  }
};

}  // namespace wq

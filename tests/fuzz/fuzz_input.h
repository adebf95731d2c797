// Helpers the fuzz targets share: the fuzz bytes as texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/text/text.h"

namespace wq::fuzz {

// The bytes as UTF-16 units, two bytes each (an odd last byte is dropped): every unit value,
// lone surrogates and NULs included, can reach the code under test.
inline Text Units(const uint8_t* data, size_t size) {
  Text text(size / 2, u'\0');
  for (size_t i = 0; i + 1 < size; i += 2) {
    text[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  return text;
}

// The bytes one unit each (Latin-1): short inputs, readable corpora.
inline Text Bytes(const uint8_t* data, size_t size) {
  Text text(size, u'\0');
  for (size_t i = 0; i < size; ++i) text[i] = data[i];
  return text;
}

// The first byte chooses how the rest is read: odd as UTF-16 units, even as bytes.
inline Text AnyText(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  return (data[0] & 1) ? Units(data + 1, size - 1) : Bytes(data + 1, size - 1);
}

// Aborts with a message: a property the target checks did not hold.
[[noreturn]] void Violated(const char* what);

}  // namespace wq::fuzz

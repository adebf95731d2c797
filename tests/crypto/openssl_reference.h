// Reference RC4 and MD5 from OpenSSL, and random test data.
#pragma once

#include <openssl/md5.h>
#include <openssl/rc4.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/text/text.h"

namespace wq::reference {

inline std::vector<uint8_t> Rc4(const std::vector<uint8_t>& key, std::vector<uint8_t> data) {
  RC4_KEY schedule;
  RC4_set_key(&schedule, static_cast<int>(key.size()), key.data());
  RC4(&schedule, data.size(), data.data(), data.data());
  return data;
}

inline Text Md5(const std::vector<uint8_t>& message) {
  unsigned char digest[MD5_DIGEST_LENGTH];
  MD5(message.data(), message.size(), digest);
  Text hex;
  for (unsigned char b : digest) {
    hex.push_back(u"0123456789abcdef"[b >> 4]);
    hex.push_back(u"0123456789abcdef"[b & 15]);
  }
  return hex;
}

inline std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

}  // namespace wq::reference

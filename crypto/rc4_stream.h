// The RC4 keystream generator behind clsRC4: a working copy of a keyed state and the two
// indices, combined with data by exclusive or. A generator can stop and go on later, which is
// how clsRC4 extends its keystream cache.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace wq {

class Rc4Stream {
 public:
  // Copies the keyed state and sets i and j to 0: the next byte is the first of the stream.
  void Start(const std::array<uint8_t, 256>& keyed);
  // Combines the next size keystream bytes with data[0 .. size) by exclusive or.
  void Apply(uint8_t* data, size_t size);

 private:
  // Entries are kept 32 bits wide: loads and stores of whole words keep the steps from
  // waiting on each other the way byte stores would.
  uint32_t s_[256];
  uint32_t i_ = 0;
  uint32_t j_ = 0;
};

}  // namespace wq

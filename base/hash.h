// hashBytes: a fast, well-mixed 64-bit hash of a byte string.
//
// For tables private to one process (it is not stored anywhere): the text
// table of the read-only open, the string tables' accelerators and the
// packer's table of tag paths.
// Eight bytes at a time, each step mixed, then a final mix, so that short
// words spread over a whole table.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

inline uint64_t hashBytes(std::string_view text) {
  uint64_t h = 0x9e3779b97f4a7c15ULL ^ text.size();
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t v;
    memcpy(&v, text.data() + i, 8);
    h = (h ^ v) * 0xff51afd7ed558ccdULL;
    h ^= h >> 29;
  }
  // The last bytes one by one: a copy of a variable length would be a call.
  uint64_t tail = 0;
  for (size_t k = 0; i + k < text.size(); ++k)
    tail |= static_cast<uint64_t>(static_cast<unsigned char>(text[i + k])) << (8 * k);
  h = (h ^ tail) * 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  return h ^ (h >> 33);
}

// Little-endian integers as every index file stores them.
//
// The read functions report a short read through their result and never
// leave a half-filled value behind; callers turn a false result into an
// "Error: ..." message naming the damaged file.
#pragma once

#include <cstdint>
#include <cstdio>

void put_u8(FILE* f, uint32_t v);
void put_u24(FILE* f, uint32_t v);   // the low 3 bytes of v
void put_i32(FILE* f, int32_t v);

bool get_u8(FILE* f, uint32_t* v);
bool get_u24(FILE* f, uint32_t* v);
bool get_i32(FILE* f, int32_t* v);

// The same over memory (p must hold 3 or 4 bytes). Inline: searches read
// codes with them, and the passes write cells and codes, by the million.
inline uint32_t load_u24(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16;
}
inline uint32_t load_u32(const unsigned char* p) {
  return load_u24(p) | static_cast<uint32_t>(p[3]) << 24;
}
inline int32_t load_i32(const unsigned char* p) { return static_cast<int32_t>(load_u32(p)); }
inline void store_u24(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 3; i++) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void store_i32(unsigned char* p, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; i++) p[i] = static_cast<unsigned char>(u >> (8 * i));
}

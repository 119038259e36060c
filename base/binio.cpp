#include "base/binio.h"

namespace {

void putBytes(FILE* f, uint32_t v, int n) {
  unsigned char b[4];
  for (int i = 0; i < n; i++) b[i] = static_cast<unsigned char>(v >> (8 * i));
  fwrite(b, 1, static_cast<size_t>(n), f);
}

bool getBytes(FILE* f, uint32_t* v, int n) {
  unsigned char b[4];
  if (fread(b, 1, static_cast<size_t>(n), f) != static_cast<size_t>(n)) return false;
  uint32_t r = 0;
  for (int i = 0; i < n; i++) r |= static_cast<uint32_t>(b[i]) << (8 * i);
  *v = r;
  return true;
}

}  // namespace

void put_u8(FILE* f, uint32_t v) { putBytes(f, v, 1); }
void put_u24(FILE* f, uint32_t v) { putBytes(f, v, 3); }
void put_i32(FILE* f, int32_t v) { putBytes(f, static_cast<uint32_t>(v), 4); }

bool get_u8(FILE* f, uint32_t* v) { return getBytes(f, v, 1); }
bool get_u24(FILE* f, uint32_t* v) { return getBytes(f, v, 3); }

bool get_i32(FILE* f, int32_t* v) {
  uint32_t u;
  if (!getBytes(f, &u, 4)) return false;
  *v = static_cast<int32_t>(u);
  return true;
}


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

// The same over memory (p must hold 3 or 4 bytes).
uint32_t load_u24(const unsigned char* p);
int32_t load_i32(const unsigned char* p);
void store_u24(unsigned char* p, uint32_t v);
void store_i32(unsigned char* p, int32_t v);

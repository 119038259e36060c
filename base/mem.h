// mem_t: an append-only arena for many small records and texts.
//
// Only the last block takes new allocations; room left in earlier blocks is
// not reused. The k-th block holds max(1024 * k, n) bytes for the request n
// that opened it. Pointers stay valid until mem_clear or mem_done; there is
// no per-allocation release. Allocations are neither rounded nor aligned.
#pragma once

struct memblk_t {
  char* base;
  char* next;
  int size;
};

struct mem_t {
  memblk_t* blocks;
  int nblocks;
};

int mem_init(mem_t* m);
// n bytes, uninitialised; n = 0 gives the current free position without
// advancing it; a negative n gives null.
void* mem_alloc(mem_t* m, int n);
void mem_assn(mem_t* m, int n);
int mem_done(mem_t* m);
int mem_clear(mem_t* m);

// Calls fn(p) for each record of an arena that has only ever given records
// of n bytes, in the order they were given.
template <class Fn>
void mem_each(const mem_t* m, int n, Fn fn) {
  if (n <= 0) return;
  for (int i = 0; i < m->nblocks; i++)
    for (char* p = m->blocks[i].base; p + n <= m->blocks[i].next; p += n) fn(p);
}

#include "base/mem.h"

#include <cstdlib>
#include <cstring>

int mem_init(mem_t* m) {
  m->blocks = nullptr;
  m->nblocks = 0;
  return 1;
}

void mem_assn(mem_t* m, int n) {
  const int k = m->nblocks + 1;
  memblk_t* blocks = static_cast<memblk_t*>(calloc(k, sizeof(memblk_t)));
  if (m->blocks) memcpy(blocks, m->blocks, sizeof(memblk_t) * m->nblocks);
  free(m->blocks);
  m->blocks = blocks;
  m->nblocks = k;
  memblk_t& b = blocks[k - 1];
  b.size = n > 1024 * k ? n : 1024 * k;
  b.base = static_cast<char*>(malloc(b.size));
  b.next = b.base;
}

void* mem_alloc(mem_t* m, int n) {
  if (n < 0) return nullptr;
  if (m->nblocks == 0) {
    mem_assn(m, n);
  } else {
    const memblk_t& last = m->blocks[m->nblocks - 1];
    if (last.size - (last.next - last.base) < n) mem_assn(m, n);
  }
  memblk_t& last = m->blocks[m->nblocks - 1];
  char* p = last.next;
  last.next += n;
  return p;
}

int mem_done(mem_t* m) {
  for (int i = 0; i < m->nblocks; i++) free(m->blocks[i].base);
  free(m->blocks);
  m->blocks = nullptr;
  m->nblocks = 0;
  return 1;
}

int mem_clear(mem_t* m) {
  mem_done(m);
  return mem_init(m);
}

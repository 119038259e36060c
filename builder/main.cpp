#include "builder/builder.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // A build allocates and frees blocks of many megabytes in turn (word
  // tables, batches, buffers). By default the C library raises its mapping
  // threshold after each such free, and later blocks then come from the heap
  // and stay with the process when freed: a fixed threshold keeps the peak
  // memory what the build holds at once.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
  if (argc <= 1) {
    usage();
    return -1;
  }
  if (!cmdLine(argc, argv)) return -1;
  return compile();
}

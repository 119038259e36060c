#include "base/readahead.h"

#include <sched.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int availableCores() {
  // The affinity mask, not the machine: a run pinned to one core (taskset)
  // works as on a one-core machine.
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  int n = CPU_COUNT(&set);
  return n < 1 ? 1 : n;
}

std::thread startThread(void (*run)(void*), void* arg) { return std::thread(run, arg); }

void releaseThreadMemory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

/* A test helper loaded with LD_PRELOAD into the programs under test: it
 * counts the file events a run makes (opening, closing, renaming, linking
 * and removing files) and kills the process with SIGKILL just before the
 * N-th one, so that tests can stop a run at every point where a file
 * changes.
 *
 *   LEXORN_KILL_AT=N      kill before event N (1-based); 0 or unset: never
 *   LEXORN_EVENT_COUNT=F  write the number of events to F at exit
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static long events = 0;

static void event(void) {
  static long killAt = -1;
  if (killAt < 0) {
    const char* at = getenv("LEXORN_KILL_AT");
    killAt = at ? atol(at) : 0;
  }
  if (++events == killAt) kill(getpid(), SIGKILL);
}

__attribute__((destructor)) static void report(void) {
  const char* path = getenv("LEXORN_EVENT_COUNT");
  if (!path) return;
  int (*real_open)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
  int fd = real_open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  char text[32];
  int n = snprintf(text, sizeof text, "%ld\n", events);
  if (write(fd, text, (size_t)n) != n) events = -1;
  close(fd);
}

/* The next definition of `name` (the C library's), looked up once. */
#define REAL(name) real_##name
#define FIND(name)                          \
  static __typeof__(&name) REAL(name) = NULL; \
  if (!REAL(name)) REAL(name) = (__typeof__(&name))dlsym(RTLD_NEXT, #name)

FILE* fopen(const char* path, const char* mode) {
  FIND(fopen);
  event();
  return REAL(fopen)(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
  FIND(fopen64);
  event();
  return REAL(fopen64)(path, mode);
}

int fclose(FILE* f) {
  FIND(fclose);
  event();
  return REAL(fclose)(f);
}

static mode_t modeArg(int flags, va_list ap) {
  return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(ap, int) : 0;
}

int open(const char* path, int flags, ...) {
  FIND(open);
  va_list ap;
  va_start(ap, flags);
  mode_t mode = modeArg(flags, ap);
  va_end(ap);
  event();
  return REAL(open)(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  FIND(open64);
  va_list ap;
  va_start(ap, flags);
  mode_t mode = modeArg(flags, ap);
  va_end(ap);
  event();
  return REAL(open64)(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  FIND(openat);
  va_list ap;
  va_start(ap, flags);
  mode_t mode = modeArg(flags, ap);
  va_end(ap);
  event();
  return REAL(openat)(dir, path, flags, mode);
}

int close(int fd) {
  FIND(close);
  event();
  return REAL(close)(fd);
}

int rename(const char* from, const char* to) {
  FIND(rename);
  event();
  return REAL(rename)(from, to);
}

int unlink(const char* path) {
  FIND(unlink);
  event();
  return REAL(unlink)(path);
}

int remove(const char* path) {
  FIND(remove);
  event();
  return REAL(remove)(path);
}

int link(const char* from, const char* to) {
  FIND(link);
  event();
  return REAL(link)(from, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  FIND(linkat);
  event();
  return REAL(linkat)(fromDir, from, toDir, to, flags);
}

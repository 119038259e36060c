// Whole reads and writes at absolute offsets of a file descriptor.
//
// pread and pwrite may move fewer bytes than asked, or be interrupted; these
// repeat them until all n bytes are done. The descriptor's own position and
// any stdio stream over it are left alone.
#pragma once

#include <sys/types.h>

#include <cstddef>

// False on an error or when the file ends before n bytes; `*done`, when
// given, tells how many were read.
bool fd_read_at(int fd, void* to, size_t n, off_t at, size_t* done = nullptr);
// False on an error.
bool fd_write_at(int fd, const void* from, size_t n, off_t at);

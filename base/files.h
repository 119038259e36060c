// Probes on files by name or by open stream.
#pragma once

#include <cstdio>

// 1 when `path` can be opened for reading, else 0. A directory counts as
// absent: it opens, but reads as no file at all.
int fil_exist(const char* path);

// Size of the file in bytes; 0 when it cannot be opened (same as empty) or
// is a directory.
long fil_size(const char* path);

// 1 when the stream is at or beyond the end of its file (the position is
// then left at the end), else 0 with the position restored.
int fil_eofx(FILE* f);

// Copies `src` to `dst` in 32 KiB chunks; 1 on success, 0 when either file
// cannot be opened, when a read or write fails, or when both name the same
// file (opening it for writing would empty it first; it is left untouched).
// A missing source creates no destination.
int fil_copy(const char* src, const char* dst);

// Replaces `to` by `from` with one rename(2), which is atomic on POSIX file
// systems: `to` holds either its old or its new content, never neither.
// Returns true on success.
bool fil_replace(const char* from, const char* to);

// Probes on files by name or by open stream.
#pragma once

#include <cstdio>
#include <string>

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

// --- Writing a file whole, never in place ---------------------------------
// A new version of a file is written under a temporary name beside it and
// put in place by rename, so a reader keeps the version it opened and a
// failure or a kill never leaves a half-written file under the real name.

// The temporary name of `path`: its last character replaced by "~"
// (d.ent -> d.en~), never longer than the name it stands for.
std::string fil_tempname(const std::string& path);

// The file a name stands for: the target of a symbolic link (followed to
// the end), otherwise the name itself. A new version of a linked file
// replaces the target, so the link stays.
std::string fil_real(const std::string& path);

// Creates `path` afresh for writing (and reading, with `readable`): a file
// left there is removed first and the new one is made exclusively, never
// through a symbolic link. Null when it cannot be made (errno says why).
FILE* fil_create(const char* path, bool readable);

// Gives the file open as `f` the permission bits of the file `like` (when
// that exists), so a new version keeps the mode of the old one.
void fil_same_mode(FILE* f, const char* like);

// Keeps a second copy of `from` under the name `as`, which must not exist:
// a hard link where the file system allows one (`from` followed when it is
// a symbolic link), a copy elsewhere. False when neither could be made.
bool fil_keep_as(const char* from, const char* as);

// Closes a stream that was written: true when every byte reached the file
// (no earlier write error, and the final flush and the close succeeded).
bool fil_close(FILE* f);

// Writes `path` whole: `write` fills the temporary file, which then
// replaces `path` (the target of a link, keeping its mode). False, with
// `path` untouched and the temporary file removed, when any step failed;
// *why then names the step ("write", "rename", ...) for the message.
bool fil_write_whole(const std::string& path, bool (*write)(FILE* f, const void* arg),
                     const void* arg, std::string* why);

// --- Knowing a file again -------------------------------------------------
// Which file a name or a stream stands for: a file replaced by a rename is
// another file, even under the same name.
struct fil_id {
  unsigned long long dev = 0, ino = 0;
  bool operator==(const fil_id& o) const { return dev == o.dev && ino == o.ino; }
};
// False when the name or stream cannot be examined.
bool fil_identify(const char* path, fil_id* id);
bool fil_identify(FILE* f, fil_id* id);

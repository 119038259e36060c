// The builder's command line and its one build run.
//
//   lexorn [OPTIONS] DICT
//     -f         build every file even when it exists
//     -s         compact the indexes after the build
//     -n<number> occurrence batch size of the word-to-entry pass (attached;
//                read as atol reads it, so "-n" alone gives 0)
// Any other argument, a lone "-" or an unknown option included, names the
// dictionary; the last one wins. DICT may carry its ".xml" suffix.
#pragma once

#include <cstddef>
#include <cstdint>

// Longest dictionary argument accepted.
constexpr size_t kMaxFileName = 255;

extern unsigned char force;           // -f
extern unsigned char speed;           // -s
extern int32_t maxEnt;                // -n<number>; 1000000 by default
extern char fileName[kMaxFileName + 1];  // the DICT argument; empty when none

// Writes the usage text to standard output.
void usage();

// Sets the four globals from the arguments after argv[0]. False, with a
// message on standard error, when a name-like argument is longer than
// kMaxFileName: it is refused rather than cut.
bool cmdLine(int argc, char** argv);

// Puts the four globals back to their initial values.
void cmdLineReset();

// One build run: 0 after a build, 1 when a pass failed (every file is then
// left as it was), -1 when the dictionary does not exist or cannot be named.
int compile();

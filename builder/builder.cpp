#include "builder/builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/error.h"
#include "dictio/dictio.h"

unsigned char force = 0;
unsigned char speed = 0;
int32_t maxEnt = 1000000;
char fileName[kMaxFileName + 1] = "";

void usage() {
  fputs("Dictionary builder v. 1.3.35\n", stdout);
  fputs("----------------------------\n", stdout);
  fputs("Usage: lexorn [OPTIONS] DICT\n\n", stdout);
  fputs("DICT is a filename of XML structured dictionary\n", stdout);
  fputs("OPTIONS can be\n", stdout);
  fputs("  -f force to build dictionary even if it exists\n", stdout);
  fputs("  -s speed up dictionary\n", stdout);
  fputs("  -n number of process entries (def. 1000000)\n", stdout);
}

namespace {

bool takeName(const char* arg) {
  size_t n = strlen(arg);
  if (n > kMaxFileName) {
    errorf("Error: Dictionary name is too long (%zu characters, at most %zu).\n", n,
           kMaxFileName);
    return false;
  }
  memcpy(fileName, arg, n + 1);
  return true;
}

}  // namespace

bool cmdLine(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (arg[0] != '-') {
      if (!takeName(arg)) return false;
      continue;
    }
    // Only the second character counts: "-fs" is -f.
    switch (arg[1]) {
      case 'f':
        force = 1;
        break;
      case 's':
        speed = 1;
        break;
      case 'n':
        maxEnt = static_cast<int32_t>(atol(arg + 2));
        break;
      default:
        if (!takeName(arg)) return false;
        break;
    }
  }
  return true;
}

void cmdLineReset() {
  force = 0;
  speed = 0;
  maxEnt = 1000000;
  fileName[0] = '\0';
}

int compile() {
  auto dict = std::make_unique<DictIO>();
  if (!dict->setXMLName(fileName)) return -1;
  dict->setMaxEnt(maxEnt);
  dict->output = 1;
  // The whole run is one update: its files are put in place together at
  // the end, or, when anything failed, none of them.
  dict->beginUpdate();
  if (!dict->rebuild(force)) return -1;
  if (speed && !dict->updateFailed()) dict->speedup();
  return dict->commitUpdate() ? 0 : 1;
}

#include "builder/builder.h"

int main(int argc, char** argv) {
  if (argc <= 1) {
    usage();
    return -1;
  }
  if (!cmdLine(argc, argv)) return -1;
  return compile();
}

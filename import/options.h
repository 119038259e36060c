// The command line of lexorn-import.
//
//   lexorn-import [--entry NAME] [--drop-attributes] [--strict] [--force] INPUT DICT
//   lexorn-import --help
//
// Options may come before or between the two names; "--" ends them, and
// "--entry=NAME" is the same as "--entry NAME".
#pragma once

#include <string>
#include <vector>

struct ImportOptions {
  std::string input;        // the XML file to read
  std::string dict;         // the dictionary: DICT.xml is written
  std::string entry;        // --entry: the entry element's name; empty: default mode
  bool dropAttributes = false;
  bool strict = false;
  bool force = false;
  bool help = false;

  // DICT with ".xml" added unless it ends with it already.
  std::string outputPath() const;
};

// Fills *opts from the arguments (without the program name). False with a
// message in *error when they are not a valid command line.
bool parseOptions(const std::vector<std::string>& args, ImportOptions* opts, std::string* error);

// The text --help prints.
extern const char kImportUsage[];

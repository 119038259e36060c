// The command line of lexorn-find, taken apart without touching a
// dictionary.
//
// Options may stand anywhere before "--": "word HESLO.HW cat -l" means -l,
// as a reader of the line would take it. After "--" every argument is an
// operand, which is how a WORD that begins with "-" is searched. A lone "-"
// is an operand too.
#pragma once

#include <string>
#include <vector>

struct FindArgs {
  bool help = false;
  bool version = false;  // --version
  bool raw = false;   // --raw: text in and out as stored
  bool json = false;  // --json: one JSON object a line
  // Options of the word command.
  bool link = false;     // -l
  bool pattern = false;  // -p
  long limit = 0;        // -m LIMIT
  std::vector<std::string> wordOptions;  // as given, to refuse them elsewhere
  std::string dict;
  std::string command;
  std::vector<std::string> operands;  // after DICT and the command
};

// Takes `args` (argv without the program name) apart into *out. Returns the
// text of a usage error ("unknown option -x."), or empty when the line is
// well formed; with --help or --version, parsing stops there and nothing
// else is checked.
std::string parseFindArgs(const std::vector<std::string>& args, FindArgs* out);

// Whether a -p pattern carries an anchor of its own: a leading "^" or an
// unescaped trailing "$". A pattern is matched against whole words already,
// so such an anchor stands for the character itself.
bool patternHasAnchor(const std::string& pattern);

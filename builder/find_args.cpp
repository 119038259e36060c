#include "builder/find_args.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool parseLimit(const std::string& text, long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long n = strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || n < 0 || n > 0x7FFFFFFF) return false;
  *out = n;
  return true;
}

}  // namespace

std::string parseFindArgs(const std::vector<std::string>& args, FindArgs* out) {
  *out = FindArgs();
  std::vector<std::string> positional;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!options || a.size() < 2 || a[0] != '-') {
      positional.push_back(a);
      continue;
    }
    if (a == "--") {
      options = false;
    } else if (a == "--help" || a == "-h") {
      out->help = true;
      return "";
    } else if (a == "--version") {
      out->version = true;
      return "";
    } else if (a == "--raw") {
      out->raw = true;
    } else if (a == "--json") {
      out->json = true;
    } else if (a == "-l") {
      out->link = true;
      out->wordOptions.push_back(a);
    } else if (a == "-p") {
      out->pattern = true;
      out->wordOptions.push_back(a);
    } else if (a.compare(0, 2, "-m") == 0) {
      std::string value = a.size() > 2 ? a.substr(2) : (i + 1 < args.size() ? args[++i] : "");
      if (!parseLimit(value, &out->limit)) return "bad limit '" + value + "'.";
      out->wordOptions.push_back("-m");
    } else {
      return "unknown option " + a + ".";
    }
  }
  if (positional.size() < 2) return "a dictionary and a command are needed.";
  out->dict = positional[0];
  out->command = positional[1];
  out->operands.assign(positional.begin() + 2, positional.end());
  if (out->command != "word" && out->command != "entry" && out->command != "words")
    return "unknown command " + out->command + ".";
  if (out->command != "word" && !out->wordOptions.empty())
    return "option " + out->wordOptions.front() + " is for the word command only.";
  return "";
}

bool patternHasAnchor(const std::string& pattern) {
  if (pattern.empty()) return false;
  if (pattern.front() == '^') return true;
  if (pattern.back() != '$') return false;
  // "\$" is a dollar sign meant as one; "\\$" is a backslash and an anchor.
  size_t backslashes = 0;
  for (size_t i = pattern.size() - 1; i > 0 && pattern[i - 1] == '\\'; --i) ++backslashes;
  return backslashes % 2 == 0;
}

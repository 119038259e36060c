// lexorn-find: looks words and entries up in a dictionary that lexorn has
// built. It opens the dictionary read-only: nothing is rebuilt, repaired or
// written, and a dictionary whose index files are missing, damaged or stale
// is refused.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/czech.h"
#include "base/error.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/writer.h"

namespace {

enum Status { kFound = 0, kNotFound = 1, kFailed = 2 };

const char kUsage[] =
    "Usage: lexorn-find DICT word [-l] [-p] [-m LIMIT] PATH WORD...\n"
    "       lexorn-find DICT entry NUMBER\n"
    "       lexorn-find DICT words PATH\n"
    "       lexorn-find --help\n"
    "\n"
    "Looks words and entries up in a dictionary built by lexorn. DICT names the\n"
    "dictionary as lexorn takes it (cut at its last \".\", so with or without\n"
    "its .xml suffix); its index files (.def, .ent, .eid, .wrd, .wid) must exist\n"
    "and be whole. Nothing is built, repaired or changed.\n"
    "\n"
    "  word PATH WORD...  the entries in which every WORD occurs in the element\n"
    "                     PATH (a dotted path such as HESLO.HW; letter case does\n"
    "                     not matter), in the same element for all the WORDs.\n"
    "                     Each entry is printed as a line with its number and\n"
    "                     the path of the element that holds the word, then as\n"
    "                     indented XML.\n"
    "      -l             also accept the words in link elements (type L)\n"
    "      -p             the WORDs are patterns (POSIX basic regular\n"
    "                     expressions) that must match a whole word\n"
    "      -m LIMIT       with a single WORD, stop after LIMIT hits (0: no limit)\n"
    "  entry NUMBER       the entry NUMBER as indented XML\n"
    "  words PATH         the words that occur in the element PATH, one a line\n"
    "\n"
    "Text goes in and out as the dictionary stores it (ISO-8859-2).\n"
    "Exit status: 0 when something was found, 1 when nothing was, 2 on an error.\n";

int usageError(const char* what) {
  errorf("Error: %s\n", what);
  fputs("Run lexorn-find --help for the usage.\n", stderr);
  return kFailed;
}

bool parseNumber(const char* text, long* out) {
  if (!*text) return false;
  errno = 0;
  char* end = nullptr;
  long n = strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || n < 0) return false;
  *out = n;
  return true;
}

void printEntry(const XMLEntry& e) {
  std::string text = XMLprintEntry(&e, XML_INDENT | XML_AFTER | XML_LINES, true, false);
  fwrite(text.data(), 1, text.size(), stdout);
}

int searchWords(DictIO* d, const std::vector<std::string>& args) {
  int flags = 0;
  long limit = 0;
  size_t i = 0;
  for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
    const std::string& a = args[i];
    if (a == "--") {
      ++i;
      break;
    }
    if (a == "-l") {
      flags |= FWE_LINK;
    } else if (a == "-p") {
      flags |= FWE_PATTERN;
    } else if (a.compare(0, 2, "-m") == 0) {
      std::string value = a.size() > 2 ? a.substr(2) : (++i < args.size() ? args[i] : "");
      if (!parseNumber(value.c_str(), &limit) || limit > 0x7FFFFFFF)
        return usageError(("bad limit '" + value + "'.").c_str());
    } else {
      return usageError(("unknown option " + a + ".").c_str());
    }
  }
  if (i + 2 > args.size()) return usageError("word needs a PATH and at least one WORD.");
  std::string path = ucase(args[i]);
  std::string text;
  for (size_t k = i + 1; k < args.size(); ++k) text += (k > i + 1 ? " " : "") + args[k];

  int tag = d->dtd->getIndex(path);
  if (tag == 0) {
    errorf("Error: Dictionary %s has no element %s.\n", d->getName().c_str(), path.c_str());
    return kFailed;
  }
  char type = d->dtd->getType(tag);
  if (type != 'I' && type != 'K' && type != 'L' && type != 'N') {
    errorf("Error: Element %s is of type %c, which holds no searchable words.\n", path.c_str(),
           type);
    return kFailed;
  }
  twset hits;
  int rc = d->query(path, text, nullptr, &hits, nullptr, static_cast<int>(limit), flags);
  if (rc == FWE_BADPATTERN) {
    errorf("Error: Invalid pattern in '%s'.\n", text.c_str());
    return kFailed;
  }
  if (rc == FWE_UNUSABLE) return kFailed;  // the index did not open; reported already
  if (rc == FWE_UNKNOWN || hits.empty()) return kNotFound;

  int status = kNotFound;
  XMLEntry e;
  for (const twident& h : hits) {
    long reported = errout_count();
    if (!d->getXMLEntry(&e, h.eid)) {
      if (errout_count() == reported) continue;  // an entry without content
      return kFailed;
    }
    printf("%d %s\n", h.eid, d->dtd->getTag(h.tid).c_str());
    printEntry(e);
    status = kFound;
  }
  return status;
}

int showEntry(DictIO* d, const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("entry needs exactly one NUMBER.");
  long num = 0;
  if (!parseNumber(args[0].c_str(), &num))
    return usageError(("bad entry number '" + args[0] + "'.").c_str());
  XMLEntry e;
  long reported = errout_count();
  if (d->getXMLEntry(&e, num)) {
    printEntry(e);
    return kFound;
  }
  // An entry that could not be read is damage (reported), not absence.
  return errout_count() == reported ? kNotFound : kFailed;
}

int listWords(DictIO* d, const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("words needs exactly one PATH.");
  std::string path = ucase(args[0]);
  if (d->dtd->getIndex(path) == 0) {
    errorf("Error: Dictionary %s has no element %s.\n", d->getName().c_str(), path.c_str());
    return kFailed;
  }
  std::vector<std::string> words;
  if (d->findWordsByTag(path, &words) != FWE_DONE) return kFailed;
  for (const std::string& w : words) printf("%s\n", w.c_str());
  return words.empty() ? kNotFound : kFound;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(kUsage, stdout);
    return kFound;
  }
  if (argc < 3) return usageError("a dictionary and a command are needed.");
  std::string command = argv[2];
  std::vector<std::string> args(argv + 3, argv + argc);
  if (command != "word" && command != "entry" && command != "words")
    return usageError(("unknown command " + command + ".").c_str());

  // Read-only and quiet: nothing is built, repaired or written, and a
  // missing, damaged or stale file is reported by the open itself.
  std::string base = dictBaseName(argv[1]);
  auto d = std::make_unique<DictIO>(base.c_str(), 0, DIO_READONLY);
  if (!d->errText.empty()) return kFailed;

  int status = kFailed;
  if (command == "word")
    status = searchWords(d.get(), args);
  else if (command == "entry")
    status = showEntry(d.get(), args);
  else
    status = listWords(d.get(), args);
  fflush(stdout);
  return status;
}

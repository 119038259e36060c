// lexorn-find: looks words and entries up in a dictionary that lexorn has
// built. It opens the dictionary read-only: nothing is rebuilt, repaired or
// written, and a dictionary whose index files are missing, damaged or stale
// is refused.
//
// Text comes in and goes out in the locale's character set and is
// converted from and to the dictionary's ISO-8859-2 (builder/find_text.h).

#include <langinfo.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/czech.h"
#include "base/error.h"
#include "base/text.h"
#include "builder/find_args.h"
#include "builder/find_text.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "lexorn/version.h"
#include "xml/entry.h"
#include "xml/writer.h"

namespace {

enum Status { kFound = 0, kNotFound = 1, kFailed = 2 };

const char kUsage[] =
    "Usage: lexorn-find DICT word [-l] [-p] [-m LIMIT] PATH WORD...\n"
    "       lexorn-find DICT entry NUMBER\n"
    "       lexorn-find DICT words PATH\n"
    "       lexorn-find --help\n"
    "       lexorn-find --version\n"
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
    "                     indented XML. PATH must hold words of its own: a\n"
    "                     reference (type R or E) is refused.\n"
    "      -l             also accept the words in link elements (type L)\n"
    "      -p             the WORDs are patterns (POSIX basic regular\n"
    "                     expressions). A pattern always matches a whole word:\n"
    "                     'dom.*' finds the words that begin with dom, and a ^\n"
    "                     or $ of your own stands for that character itself.\n"
    "      -m LIMIT       with a single WORD, stop after LIMIT hits (0: no limit)\n"
    "  entry NUMBER       the entry NUMBER as indented XML\n"
    "  words PATH         the words that occur in the element PATH, one a line\n"
    "                     (the elements that word takes)\n"
    "\n"
    "Options may stand anywhere before \"--\"; every argument after \"--\" is a\n"
    "PATH or a WORD, even one that begins with \"-\".\n"
    "  --raw              text in and out as the dictionary stores it (ISO-8859-2)\n"
    "  --json             one JSON object a line, in UTF-8 whatever the locale:\n"
    "                     {\"entry\":N,\"path\":P,\"xml\":X} for each hit of word,\n"
    "                     {\"entry\":N,\"xml\":X} for entry, {\"word\":W} for words;\n"
    "                     X is the entry as one line of XML\n"
    "  --version          print \"lexorn-find VERSION\" and exit\n"
    "\n"
    "Without --raw, WORDs and PATHs are taken in the locale's character set\n"
    "(LC_ALL, LC_CTYPE, LANG) and converted to ISO-8859-2, and what is printed is\n"
    "converted back. A character that ISO-8859-2 has not is an error. In the C\n"
    "locale bytes pass unchanged.\n"
    "A WORD that is not in the dictionary at all, and an anchor in a pattern,\n"
    "get a \"Note:\" line on standard error.\n"
    "Exit status: 0 when something was found, 1 when nothing was, 2 on an error.\n";

int usageError(const std::string& what) {
  errorf("Error: %s\n", what.c_str());
  fputs("Run lexorn-find --help for the usage.\n", stderr);
  return kFailed;
}

bool parseNumber(const std::string& text, long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long n = strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || n < 0) return false;
  *out = n;
  return true;
}

// Where results go: the terminal's character set, or JSON lines.
class Printer {
 public:
  Printer(const TermText* term, const std::array<uint32_t, 256>* json) : term_(term), json_(json) {}

  // Stored text as the terminal shows it: for messages too.
  std::string shown(const std::string& stored) const { return term_->toTerminal(stored); }

  void hit(int eid, const std::string& path, const XMLEntry& e) {
    if (json_) {
      put("{\"entry\":" + std::to_string(eid) + ",\"path\":" + quote(path) + ",\"xml\":" +
           quote(XMLprintEntry(&e, true, false)) + "}\n");
    } else {
      put(shown(std::to_string(eid) + " " + path + "\n"));
      entryText(e);
    }
  }
  void entry(long eid, const XMLEntry& e) {
    if (json_)
      put("{\"entry\":" + std::to_string(eid) + ",\"xml\":" + quote(XMLprintEntry(&e, true, false)) + "}\n");
    else
      entryText(e);
  }
  void word(const std::string& w) {
    if (json_)
      put("{\"word\":" + quote(w) + "}\n");
    else
      put(shown(w + "\n"));
  }

 private:
  std::string quote(const std::string& stored) const { return jsonQuote(latin2ToUtf8(*json_, stored)); }
  void entryText(const XMLEntry& e) {
    put(shown(XMLprintEntry(&e, XML_INDENT | XML_AFTER | XML_LINES, true, false)));
  }
  static void put(const std::string& text) { fwrite(text.data(), 1, text.size(), stdout); }

  const TermText* term_;
  const std::array<uint32_t, 256>* json_;
};

// The one rule for which elements can be asked for their words: those
// whose type holds words (I, K, L, N). A reference, to an element of the
// same dictionary (R) or to another dictionary (E), holds none of its own.
// Returns the tag, or 0 after an error line.
int searchableTag(DictIO* d, const Printer& out, const std::string& path) {
  int tag = d->dtd->getIndex(path);
  if (tag == 0) {
    errorf("Error: Dictionary %s has no element %s.\n", d->getName().c_str(), out.shown(path).c_str());
    return 0;
  }
  char type = d->dtd->getType(tag);
  if (type != 'I' && type != 'K' && type != 'L' && type != 'N') {
    errorf("Error: Element %s is of type %c, which holds no searchable words.\n", out.shown(path).c_str(),
           type);
    return 0;
  }
  return tag;
}

// The query words of `text` as the search cuts them: patterns at spaces,
// words at any white space.
std::vector<std::string> queryWords(const std::string& text, bool pattern) {
  int count = 0;
  char* list = pattern ? str_get_words_reg(text.c_str(), &count) : str_get_words(text.c_str(), &count);
  std::vector<std::string> words;
  const char* w = list;
  for (int i = 0; i < count; ++i, w += strlen(w) + 1) words.emplace_back(w);
  free(list);
  return words;
}

// After a search that found nothing: a note for each word that is not in
// the dictionary's word list at all (or each pattern that matches none of
// its words), since that, not the element or the other words, is then why.
// False when the index failed (reported).
bool noteUnknownWords(DictIO* d, const Printer& out, const std::string& path,
                      const std::vector<std::string>& words, int flags) {
  for (const std::string& w : words) {
    twset one;
    int rc = d->query(path, w, nullptr, &one, nullptr, 1, flags);
    if (rc == FWE_UNUSABLE) return false;
    if (rc != FWE_UNKNOWN) continue;
    if (flags & FWE_PATTERN)
      errorf("Note: No word of dictionary %s matches '%s'.\n", d->getName().c_str(), out.shown(w).c_str());
    else
      errorf("Note: '%s' is not a word of dictionary %s.\n", out.shown(w).c_str(), d->getName().c_str());
  }
  return true;
}

int searchWords(DictIO* d, Printer& out, const FindArgs& args, const std::vector<std::string>& stored) {
  std::string path = ucase(stored[0]);
  if (searchableTag(d, out, path) == 0) return kFailed;
  int flags = (args.link ? FWE_LINK : 0) | (args.pattern ? FWE_PATTERN : 0);
  std::string text;
  for (size_t k = 1; k < stored.size(); ++k) text += (k > 1 ? " " : "") + stored[k];
  std::vector<std::string> words = queryWords(text, args.pattern);
  if (words.empty()) return usageError("word needs a PATH and at least one WORD.");
  if (args.pattern) {
    for (const std::string& w : words)
      if (patternHasAnchor(w))
        errorf("Note: A pattern always matches a whole word: a ^ or $ in '%s' stands for the "
               "character itself.\n",
               out.shown(w).c_str());
  }

  twset hits;
  int rc = d->query(path, text, nullptr, &hits, nullptr, static_cast<int>(args.limit), flags);
  if (rc == FWE_BADPATTERN) {
    errorf("Error: Invalid pattern in '%s'.\n", out.shown(text).c_str());
    return kFailed;
  }
  if (rc == FWE_UNUSABLE) return kFailed;  // the index did not open; reported already
  if (rc == FWE_UNKNOWN || hits.empty())
    return noteUnknownWords(d, out, path, words, flags) ? kNotFound : kFailed;

  int status = kNotFound;
  XMLEntry e;
  for (const twident& h : hits) {
    long reported = errout_count();
    if (!d->getXMLEntry(&e, h.eid)) {
      if (errout_count() == reported) continue;  // an entry without content
      return kFailed;
    }
    out.hit(h.eid, d->dtd->getTag(h.tid), e);
    status = kFound;
  }
  return status;
}

int showEntry(DictIO* d, Printer& out, long num) {
  XMLEntry e;
  long reported = errout_count();
  if (d->getXMLEntry(&e, num)) {
    out.entry(num, e);
    return kFound;
  }
  // An entry that could not be read is damage (reported), not absence.
  return errout_count() == reported ? kNotFound : kFailed;
}

int listWords(DictIO* d, Printer& out, const std::string& stored) {
  std::string path = ucase(stored);
  if (searchableTag(d, out, path) == 0) return kFailed;
  std::vector<std::string> words;
  if (d->findWordsByTag(path, &words) != FWE_DONE) return kFailed;
  for (const std::string& w : words) out.word(w);
  return words.empty() ? kNotFound : kFound;
}

// The locale's character set, or the C locale's when the environment names
// a locale that is not installed (said in a note, since text then passes
// unchanged where the user may expect it converted). The process goes back
// to the C locale: the search's patterns run over ISO-8859-2 bytes, which a
// multibyte locale would not take for characters.
std::string localeCodeset() {
  std::string codeset;
  if (setlocale(LC_ALL, "")) {
    const char* name = nl_langinfo(CODESET);
    codeset = name ? name : "";
  } else {
    errorf("Note: The locale that the environment names is not installed; text passes unchanged, "
           "as in the C locale.\n");
  }
  setlocale(LC_ALL, "C");
  if (codeset.empty()) codeset = nl_langinfo(CODESET);
  return codeset;
}

}  // namespace

int main(int argc, char** argv) {
  FindArgs args;
  std::string problem = parseFindArgs(std::vector<std::string>(argv + 1, argv + argc), &args);
  if (args.help) {
    fputs(kUsage, stdout);
    return kFound;
  }
  if (args.version) {
    fputs("lexorn-find " LEXORN_VERSION "\n", stdout);
    return kFound;
  }
  if (!problem.empty()) return usageError(problem);

  // Operands are checked before the dictionary is opened: a mistyped line
  // costs no open.
  const std::vector<std::string>& ops = args.operands;
  long number = 0;
  if (args.command == "word") {
    if (ops.size() < 2) return usageError("word needs a PATH and at least one WORD.");
  } else if (args.command == "entry") {
    if (ops.size() != 1) return usageError("entry needs exactly one NUMBER.");
    if (!parseNumber(ops[0], &number)) return usageError("bad entry number '" + ops[0] + "'.");
  } else if (ops.size() != 1) {
    return usageError("words needs exactly one PATH.");
  }

  std::string error;
  std::unique_ptr<TermText> term = TermText::open(args.raw ? "" : localeCodeset(), args.raw, &error);
  std::array<uint32_t, 256> utf8{};
  if (term && args.json && !latin2CodePoints(&utf8))
    error = "Error: The C library cannot convert ISO-8859-2 to UTF-8 for --json.";
  if (!error.empty()) {
    errorf("%s\n", error.c_str());
    return kFailed;
  }
  // PATHs and WORDs in the dictionary's set; the entry number is digits.
  std::vector<std::string> stored;
  if (args.command != "entry") {
    for (const std::string& op : ops) {
      stored.emplace_back();
      if (!term->toStored(op, &stored.back(), &error)) {
        errorf("%s\n", error.c_str());
        return kFailed;
      }
    }
  }
  Printer out(term.get(), args.json ? &utf8 : nullptr);

  // Read-only and quiet: nothing is built, repaired or written, and a
  // missing, damaged or stale file is reported by the open itself.
  std::string base = dictBaseName(args.dict);
  auto d = std::make_unique<DictIO>(base.c_str(), 0, DIO_READONLY);
  if (!d->errText.empty()) return kFailed;

  int status = kFailed;
  if (args.command == "word")
    status = searchWords(d.get(), out, args, stored);
  else if (args.command == "entry")
    status = showEntry(d.get(), out, number);
  else
    status = listWords(d.get(), out, stored[0]);
  fflush(stdout);
  return status;
}

// A host program of the lexorn library: it opens a dictionary through the
// registry, searches a word in one element, prints the entry it finds, adds
// an entry with a journal line and undoes it, and finally looks the word up
// again through a read-only open. Every step is checked; the program says
// what it saw and exits with status 1 at the first step that went wrong.
//
//   lexorn-host-example DICT.xml
//
// DICT.xml is copied into a scratch directory first and left alone: the first
// open of a dictionary without index files builds them, which rewrites the
// XML file in a normalised form.

#include <iconv.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include <lexorn/lexorn.h>

namespace fs = std::filesystem;

namespace {

// The dictionary stores ISO-8859-2; this program's texts and its output are
// UTF-8.
std::string convert(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out(text.size() * 4, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* put = out.data();
  size_t outLeft = out.size();
  size_t done = iconv(cd, &in, &inLeft, &put, &outLeft);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) return text;
  out.resize(out.size() - outLeft);
  return out;
}
std::string stored(const std::string& utf8) { return convert(utf8, "ISO-8859-2", "UTF-8"); }
std::string shown(const std::string& latin2) { return convert(latin2, "UTF-8", "ISO-8859-2"); }

int failures = 0;

bool check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  if (!ok) ++failures;
  return ok;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The entries in which `word` occurs in the element `path`.
twset search(DictIO* d, const char* path, const std::string& word, int* rc) {
  twset hits;
  int tag = d->dtd->getIndex(path);  // 0: the dictionary has no such element
  *rc = tag ? d->findWordEnt(tag, word.c_str(), &hits, nullptr, 0, 0) : FWE_UNUSABLE;
  return hits;
}

int run(const fs::path& base) {
  const std::string name = base.string();

  // Opened through the registry, with a journal and undo; the first open
  // builds the index files. Progress lines are off (0).
  dictios_init(0);
  DictIO* d = dictios_get(name.c_str(), DIO_JOURNAL | DIO_UNDO);
  if (!check(d && d->errText.empty() && !d->damaged, "open " + name + " through the registry"))
    return 1;
  check(dictios_get(name.c_str(), DIO_JOURNAL | DIO_UNDO) == d,
        "the registry gives the same object for the same name");
  std::printf("   %ld entries, %d words\n", d->size(), d->wordListSize());

  int rc = 0;
  twset hits = search(d, "HESLO.HW", "pes", &rc);
  if (!check(rc == FWE_DONE && hits.size() == 1, "the word pes is the headword of one entry"))
    return 1;
  const int dog = hits.begin()->eid;
  XMLEntry entry;
  if (!check(d->getXMLEntry(&entry, dog) == 1, "fetch entry " + std::to_string(dog)))
    return 1;
  std::printf("%s", shown(XMLprintEntry(&entry, XML_INDENT | XML_AFTER | XML_LINES, true, false)).c_str());

  // An entry added inside a transaction, with a journal line.
  const std::string puppy = stored("štěně");
  XML reader;
  if (!check(reader.getEntry(stored("<HESLO><HW>štěně</HW><GRAM>podstatné jméno, rod střední</GRAM>"
                                    "<VYZNAM><DEF>mládě psa</DEF></VYZNAM><ODKAZ>pes</ODKAZ></HESLO>")),
             "read the new entry"))
    return 1;
  const std::string journalFile = d->journalFile;
  const size_t journalBefore = readFile(journalFile).size();
  d->beginTransaction();
  long added = d->addEntry(reader.root, JOURNAL_ADD_NEW, nullptr);
  d->endTransaction();
  hits = search(d, "HESLO.HW", puppy, &rc);
  check(added > 0 && rc == FWE_DONE && hits.size() == 1 && hits.begin()->eid == added,
        "the added entry " + std::to_string(added) + " is found by its headword");
  const std::string journal = readFile(journalFile);
  check(journal.size() > journalBefore &&
            journal.find(" ADD_NEW <HESLO><HW>" + puppy + "</HW>", journalBefore) != std::string::npos,
        "the journal has its ADD_NEW line");

  // Undo takes the entry back out and cuts the journal back.
  check(d->undo() == 1, "undo the transaction");
  hits = search(d, "HESLO.HW", puppy, &rc);
  check((rc == FWE_DONE || rc == FWE_UNKNOWN) && hits.empty(), "the added entry is no longer found");
  check(d->getXMLEntry(&entry, added) == 0, "entry " + std::to_string(added) + " is gone");
  check(readFile(journalFile).size() == journalBefore, "the journal is as it was before the transaction");

  // Closing saves what changed and writes the journal's END line.
  dictios_delete();
  const std::string closed = readFile(journalFile);
  check(closed.find(" BEGIN\n") != std::string::npos && closed.size() > 4 &&
            closed.compare(closed.size() - 4, 4, "END\n") == 0,
        "the journal opens with BEGIN and ends with END");

  // A read-only open answers from the files as they are now.
  DictIO reading(name.c_str(), 0, DIO_READONLY);
  if (!check(reading.errText.empty() && !reading.damaged, "open read-only")) return 1;
  hits = search(&reading, "HESLO.HW", "pes", &rc);
  check(rc == FWE_DONE && hits.size() == 1 && hits.begin()->eid == dog,
        "read-only: pes is entry " + std::to_string(dog));
  hits = search(&reading, "HESLO.HW", puppy, &rc);
  check(hits.empty(), "read-only: the undone entry is not there");
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DICT.xml\n", argv[0]);
    return 2;
  }
  std::printf("lexorn headers %s\n", LEXORN_VERSION);
  std::error_code ec;
  std::string scratch = (fs::temp_directory_path(ec) / "lexorn-host-XXXXXX").string();
  if (ec || !mkdtemp(scratch.data())) {
    std::perror("scratch directory");
    return 1;
  }
  fs::path xml = fs::path(scratch) / fs::path(argv[1]).filename();
  int status = 1;
  if (fs::copy_file(argv[1], xml, ec))
    status = run(xml.parent_path() / xml.stem());
  else
    std::fprintf(stderr, "cannot copy %s: %s\n", argv[1], ec.message().c_str());
  fs::remove_all(scratch, ec);
  std::printf("%s\n", status == 0 ? "all steps passed" : "a step failed");
  return status;
}

#include "import/options.h"

const char kImportUsage[] =
    "Usage: lexorn-import [OPTIONS] INPUT DICT\n"
    "       lexorn-import --help\n"
    "\n"
    "Reads the XML file INPUT (any well-formed XML in any encoding libxml2 knows;\n"
    "DOCTYPE, comments, processing instructions and CDATA are fine) and writes\n"
    "DICT.xml (DICT with or without .xml) in the form lexorn reads: ISO-8859-2,\n"
    "one entry a line. Then run: lexorn DICT\n"
    "\n"
    "Entries: each child element of the document element is an entry. All must\n"
    "share one name, fixed by the first that is written; children of other\n"
    "names are reported and left out. lexorn reads an entry only when it has at\n"
    "most 9 nested levels, at most 2048 children per element, at most 4096\n"
    "elements, and at least one element inside its upmost element. An entry\n"
    "that does not fit is left out whole, never cut, and reported with its\n"
    "line in INPUT.\n"
    "\n"
    "Conversion: attributes become child elements placed first, named after the\n"
    "attribute (<sense n=\"2\"> gives <SENSE><N>2</N>...). Names are upper-cased,\n"
    "namespace prefixes dropped, every byte other than an ASCII letter, digit,\n"
    "'_' or '-' becomes '_', and names are cut to 127 bytes; changed names and\n"
    "different names that become the same are reported. Comments and processing\n"
    "instructions are left out, entities replaced. Each run of white space in\n"
    "text becomes one space and an element's text is trimmed and written before\n"
    "its children. Characters with no ISO-8859-2 form are transliterated\n"
    "(o with stroke gives o, the euro sign EUR, \"?\" where nothing fits) and\n"
    "counted.\n"
    "\n"
    "Options:\n"
    "  --entry NAME        every element NAME is an entry, wherever it stands\n"
    "                      (for formats that wrap entries deeper)\n"
    "  --drop-attributes   leave attributes out\n"
    "  --strict            refuse INPUT when a character in an entry has no\n"
    "                      ISO-8859-2 form, naming the first with its line and\n"
    "                      column; nothing is written\n"
    "  --force             replace an existing DICT.xml\n"
    "  --help              print this text\n"
    "\n"
    "DICT.xml is written under a temporary name and renamed into place when it is\n"
    "complete. Progress goes to standard error for inputs over 4 MiB, and a\n"
    "summary at the end: entries written, entries left out (with reasons),\n"
    "attributes turned into elements, names changed, characters transliterated.\n"
    "\n"
    "Exit status: 0 when every entry was written, 1 when some were left out or\n"
    "(--strict) INPUT was refused, 2 on an error: unreadable or not well-formed\n"
    "INPUT (libxml2's message with line and column), no entry found, DICT.xml\n"
    "exists, or bad usage.\n";

namespace {

bool takeOption(const std::vector<std::string>& args, size_t* i, ImportOptions* opts,
                std::string* error) {
  const std::string& a = args[*i];
  if (a == "--help" || a == "-h") {
    opts->help = true;
  } else if (a == "--drop-attributes") {
    opts->dropAttributes = true;
  } else if (a == "--strict") {
    opts->strict = true;
  } else if (a == "--force") {
    opts->force = true;
  } else if (a.rfind("--entry=", 0) == 0) {
    opts->entry = a.substr(8);
  } else if (a == "--entry") {
    if (*i + 1 >= args.size()) {
      *error = "--entry needs a NAME";
      return false;
    }
    opts->entry = args[++*i];
  } else {
    *error = "unknown option " + a;
    return false;
  }
  if (a.rfind("--entry", 0) == 0 && opts->entry.empty()) {
    *error = "--entry needs a NAME";
    return false;
  }
  return true;
}

}  // namespace

std::string ImportOptions::outputPath() const {
  const std::string ext = ".xml";
  bool has = dict.size() > ext.size() && dict.compare(dict.size() - ext.size(), ext.size(), ext) == 0;
  return has ? dict : dict + ext;
}

bool parseOptions(const std::vector<std::string>& args, ImportOptions* opts, std::string* error) {
  std::vector<std::string> names;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
      if (!takeOption(args, &i, opts, error)) return false;
    } else {
      names.push_back(a);
    }
  }
  if (opts->help) return true;
  if (names.size() != 2) {
    *error = "an INPUT file and a DICT name are needed";
    return false;
  }
  opts->input = names[0];
  opts->dict = names[1];
  if (opts->input.empty() || opts->outputPath() == ".xml") {
    *error = "an INPUT file and a DICT name are needed";
    return false;
  }
  return true;
}

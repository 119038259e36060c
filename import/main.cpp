// lexorn-import: turns a general XML dictionary into the XML file that
// lexorn builds its indexes from.

#include <libxml/parser.h>
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "import/importer.h"
#include "import/options.h"
#include "import/output.h"
#include "import/report.h"
#include "import/source.h"

namespace {

enum Status { kAllWritten = 0, kSomeLeftOut = 1, kError = 2 };

// The temporary output, for the signal handler to remove.
char gTempPath[4096];

void removeTempAndDie(int sig) {
  if (gTempPath[0] != '\0') unlink(gTempPath);
  raise(sig);  // SA_RESETHAND restored the default action
}

void removeTempOnSignals(const std::string& path) {
  if (path.size() >= sizeof gTempPath) return;
  memcpy(gTempPath, path.c_str(), path.size() + 1);
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = removeTempAndDie;
  sa.sa_flags = SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(sig, &sa, nullptr);
}

// Transliteration draws on the LC_CTYPE locale; a UTF-8 one knows far more
// stand-ins than "C", and a fixed one keeps the output the same everywhere.
void chooseLocale() {
  if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) setlocale(LC_CTYPE, "");
}

int fail(const std::string& message) {
  fprintf(stderr, "Error: %s\n", message.c_str());
  return kError;
}

int usageError(const std::string& message) {
  fprintf(stderr, "Error: %s.\nRun lexorn-import --help for the usage.\n", message.c_str());
  return kError;
}

std::string noEntriesMessage(const ImportOptions& opts) {
  if (opts.entry.empty()) return opts.input + " holds no entries: its document element has no child element.";
  return opts.input + " holds no element named " + opts.entry + ".";
}

int finish(Importer::Outcome outcome, const Importer& imp, const ImportOptions& opts,
           AtomicFile* out, Console* console) {
  switch (outcome) {
    case Importer::Outcome::kFailed:
      return fail(imp.error());
    case Importer::Outcome::kNoEntries:
      return fail(noEntriesMessage(opts));
    case Importer::Outcome::kRefused:
      fail(imp.error());
      fprintf(stderr, "%s is refused (--strict); nothing is written.\n", opts.input.c_str());
      return kSomeLeftOut;
    case Importer::Outcome::kDone:
      break;
  }
  if (!out->commit(opts.force)) return fail(out->error());
  gTempPath[0] = '\0';
  console->summary(imp.stats(), opts.outputPath());
  return imp.stats().leftOutTotal() > 0 ? kSomeLeftOut : kAllWritten;
}

int import(const ImportOptions& opts) {
  std::string output = opts.outputPath();
  if (!opts.force && access(output.c_str(), F_OK) == 0)
    return fail(output + " exists; --force replaces it.");
  XmlSource src;
  if (!src.open(opts.input, opts.strict)) return fail("Could not read " + src.error());
  AtomicFile out;
  if (!out.open(output)) return fail(out.error());
  removeTempOnSignals(out.tempPath());
  Console console(stderr);
  Importer imp(opts, &console);
  Importer::Outcome outcome = imp.run(&src, &out);
  int status = finish(outcome, imp, opts, &out, &console);
  gTempPath[0] = '\0';
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  LIBXML_TEST_VERSION
  chooseLocale();
  ImportOptions opts;
  std::string error;
  if (!parseOptions(std::vector<std::string>(argv + 1, argv + argc), &opts, &error))
    return usageError(error);
  if (opts.help) {
    fputs(kImportUsage, stdout);
    return kAllWritten;
  }
  int status = import(opts);
  xmlCleanupParser();
  return status;
}

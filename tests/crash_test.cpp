// Runs killed at any moment, disks that fill up, failures on the way and
// readers beside a build: the dictionary's files always form one whole
// generation (the old one or the new one), a failed run changes nothing and
// says so with exit status 1, and a reader never crashes or answers from
// two generations at once.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "testutil.h"

using testutil::readFile;
using testutil::RunResult;
using testutil::snapshot;
using testutil::TempDir;
using testutil::writeFile;

namespace {

using Files = std::map<std::string, std::string>;

std::string findTool() {
  std::string bin = LEXORN_BIN;
  return bin.substr(0, bin.rfind('/') + 1) + "lexorn-find";
}

// The environment that kills a run before its n-th file event. A sanitized
// program is told not to mind the helper loaded ahead of its runtime.
std::vector<std::string> killedAt(long n) {
  return {std::string("LD_PRELOAD=") + LEXORN_KILLHOOK, "LEXORN_KILL_AT=" + std::to_string(n),
          "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
}

RunResult lexorn(const std::string& dir, std::vector<std::string> args,
                 const std::vector<std::string>& env = {}) {
  args.insert(args.begin(), LEXORN_BIN);
  return testutil::run(args, dir, env);
}

// An entry per word: each entry's head word and a definition that shares
// words with other entries.
std::string dictionary(const std::vector<std::string>& heads, const std::string& extra) {
  std::string xml;
  for (size_t i = 0; i < heads.size(); ++i)
    xml += "<E><HW>" + heads[i] + "</HW><DEF>word" + std::to_string(i % 7) + " common " + extra +
           "</DEF></E>\n";
  return xml;
}

const std::vector<std::string> kHeads = {"ant", "bee", "cat", "dog", "eel", "fox", "gnu", "hen",
                                         "ibis", "jay", "kiwi", "lark", "mole", "newt"};
const std::string kOld = dictionary(kHeads, "old");
const std::string kEdited = dictionary({"ant", "bee", "cow", "dog", "eel", "owl", "gnu"}, "new");

// What a fixed set of lookups answers, status and output, for the
// dictionary d in `dir`.
std::string answers(const std::string& dir) {
  const std::vector<std::vector<std::string>> queries = {
      {"word", "E.HW", "cat"}, {"word", "E.HW", "cow"}, {"word", "E.DEF", "common"},
      {"word", "E.DEF", "new"}, {"entry", "3"},           {"words", "E.HW"}};
  std::string out;
  for (std::vector<std::string> q : queries) {
    q.insert(q.begin(), {findTool(), "d"});
    RunResult r = testutil::run(q, dir);
    out += std::to_string(r.status) + ":" + r.out + "|";
  }
  return out;
}

Files everyFile(const std::string& dir) {
  Files f;
  for (const std::string& n : testutil::listDir(dir)) f[n] = readFile(dir + "/" + n);
  return f;
}

// The index files: what lookups read.
Files indexFiles(const std::string& dir) {
  Files f;
  for (const char* s : {".def", ".ent", ".eid", ".wrd", ".wid"}) f[s] = readFile(dir + "/d" + s);
  return f;
}

void restore(const std::string& dir, const Files& files) {
  for (const std::string& n : testutil::listDir(dir)) unlink((dir + "/" + n).c_str());
  for (const auto& [name, bytes] : files) writeFile(dir + "/" + name, bytes);
}

// Names a run leaves only while it is under way or after it was killed.
std::string leftovers(const std::string& dir) {
  std::string out;
  for (const std::string& n : testutil::listDir(dir))
    if (n.back() == '~' || n == "d.upd") out += n + " ";
  return out;
}

long eventsOf(const std::string& dir, const std::vector<std::string>& args) {
  std::string count = dir + "/../events";
  std::vector<std::string> env = killedAt(0);
  env.push_back("LEXORN_EVENT_COUNT=" + count);
  EXPECT_EQ(lexorn(dir, args, env).status, 0);
  long n = atol(readFile(count).c_str());
  unlink(count.c_str());
  return n;
}

// Kills the run `args` before each of its file events in turn (the
// directory set back to `start` each time), runs lexorn plainly after it,
// and checks that the lookups and the index files are those of `before` or
// of `after`, and that nothing of the killed run is left behind.
void killEverywhere(const std::string& dir, const Files& start, const std::vector<std::string>& args,
                    const std::pair<std::string, Files>& before, const std::pair<std::string, Files>& after) {
  restore(dir, start);
  long events = eventsOf(dir, args);
  ASSERT_GT(events, 20);
  int sawOld = 0, sawNew = 0;
  for (long n = 1; n <= events; ++n) {
    restore(dir, start);
    RunResult killed = lexorn(dir, args, killedAt(n));
    EXPECT_EQ(killed.signal, SIGKILL) << "event " << n;
    RunResult next = lexorn(dir, {"d"});
    EXPECT_EQ(next.status, 0) << "event " << n << ": " << next.err;
    std::pair<std::string, Files> now{answers(dir), indexFiles(dir)};
    sawOld += now == before;
    sawNew += now == after;
    EXPECT_TRUE(now == before || now == after) << "killed before event " << n << " of " << events;
    EXPECT_EQ(leftovers(dir), "") << "event " << n;
  }
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);  // a kill during the renames is finished by the next run
  std::cout << "[ killed at each of " << events << " file events: " << sawOld << " old, " << sawNew
            << " new generations ]\n";
}

}  // namespace

TEST(KilledRuns, AForcedRebuildAfterAnEditLeavesTheOldOrTheCleanBuild) {
  TempDir dir, clean;
  writeFile(dir.file("d.xml"), kOld);
  ASSERT_EQ(lexorn(dir.path(), {"d"}).status, 0);
  Files start = everyFile(dir.path());
  start["d.xml"] = kEdited;
  std::pair<std::string, Files> old{answers(dir.path()), indexFiles(dir.path())};

  writeFile(clean.file("d.xml"), kEdited);
  ASSERT_EQ(lexorn(clean.path(), {"-f", "-s", "d"}).status, 0);
  std::pair<std::string, Files> fresh{answers(clean.path()), indexFiles(clean.path())};
  ASSERT_NE(old.first, fresh.first);

  killEverywhere(dir.path(), start, {"-f", "-s", "d"}, old, fresh);
}

TEST(KilledRuns, ASpeedUpKeepsEveryEdit) {
  TempDir dir;
  writeFile(dir.file("d.xml"), kOld);
  ASSERT_EQ(lexorn(dir.path(), {"d"}).status, 0);
  // Edits live only in the index files: a lost generation would lose them.
  writeFile(dir.file("d.new"), kEdited);  // taken in, indexes rebuilt
  ASSERT_EQ(lexorn(dir.path(), {"-n2", "d"}).status, 0);
  Files start = everyFile(dir.path());
  std::pair<std::string, Files> before{answers(dir.path()), indexFiles(dir.path())};
  ASSERT_EQ(lexorn(dir.path(), {"-s", "d"}).status, 0);
  std::pair<std::string, Files> after{answers(dir.path()), indexFiles(dir.path())};
  ASSERT_EQ(before.first, after.first);
  ASSERT_NE(before.second, after.second);

  killEverywhere(dir.path(), start, {"-s", "d"}, before, after);
}

// A write that fails (the file size limit standing in for a full disk)
// fails the run: status 1, one message, every file as it was.
TEST(FailedRuns, AFullDiskChangesNothing) {
  TempDir dir;
  std::string big;
  for (int i = 0; i < 40; ++i) big += kOld;
  writeFile(dir.file("d.xml"), big);
  ASSERT_EQ(lexorn(dir.path(), {"d"}).status, 0);
  writeFile(dir.file("d.xml"), kEdited + big);
  for (const char* args : {"-f d", "-f -s d", "-s d"}) {
    SCOPED_TRACE(args);
    std::string before = snapshot(dir.path());
    std::string script = std::string("trap '' XFSZ; ulimit -f 8; exec '") + LEXORN_BIN + "' " + args;
    RunResult r = testutil::run({"/bin/bash", "-c", script}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Error: Could not write d."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing is changed.\n"), std::string::npos) << r.err;
    EXPECT_EQ(snapshot(dir.path()), before);
  }

  // A real small file system, where this machine lets a test mount one.
  std::string mnt = dir.file("mnt");
  mkdir(mnt.c_str(), 0755);
  std::string inside = "set -e; mount -t tmpfs -o size=96k none '" + mnt + "'; cd '" + mnt +
                       "'; cp ../d.def ../d.ent ../d.eid ../d.wrd ../d.wid .; head -c 40000 ../d.xml > d.xml;"
                       " sum() { cat d.* | cksum; }; a=$(sum); set +e; '" +
                       LEXORN_BIN + "' -f d >/dev/null 2>../err; echo rc=$?; [ \"$a\" = \"$(sum)\" ] && echo same;"
                       " cat ../err";
  RunResult t = testutil::run({"/usr/bin/unshare", "-rm", "/bin/sh", "-c", inside}, dir.path());
  if (t.status != 0 || t.out.find("rc=") == std::string::npos) GTEST_SKIP() << "no small file system here";
  EXPECT_EQ(t.out.substr(0, t.out.find('\n', 6) + 1), "rc=1\nsame\n") << t.out;
  EXPECT_NE(t.out.find("No space left on device"), std::string::npos) << t.out << t.err;
}

// The faults a failed pass used to hide: each now changes nothing and ends
// with status 1.
TEST(FailedRuns, NothingIsChangedAndTheRunSaysSo) {
  TempDir dir;
  writeFile(dir.file("d.xml"), kOld);
  ASSERT_EQ(lexorn(dir.path(), {"d"}).status, 0);
  const Files built = everyFile(dir.path());
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::function<void()> prepare;
    std::string err;
  } cases[] = {
      // A dictionary already in normal form is not rewritten at all: a
      // blank line at its end makes it need the rewrite.
      {"a directory in the way of the rewritten dictionary", {"-f", "d"},
       [&] {
         mkdir(dir.file("d.xm~").c_str(), 0755), writeFile(dir.file("d.xm~/x"), "");
         writeFile(dir.file("d.xml"), readFile(dir.file("d.xml")) + "\n");
       },
       "Error: Could not open d.xm~ for writing.\n"},
      {"-f without the dictionary file", {"-f", "d"}, [&] { unlink(dir.file("d.xml").c_str()); },
       "Error: Could not open d.xml.\n"},
      {"a missing word list and no dictionary file", {"d"},
       [&] { unlink(dir.file("d.xml").c_str()), unlink(dir.file("d.wrd").c_str()); },
       "Error: Could not open d.xml.\n"},
      {"a structure file emptied by hand", {"d"},
       [&] { writeFile(dir.file("d.def"), ""), unlink(dir.file("d.ent").c_str()); },
       "Building d.wrd...\nError: d.def describes no element, so no entry of d.xml can be stored "
       "(lexorn -f infers it again); nothing is changed.\n"},
      {"an entry file that is a directory", {"d"},
       [&] { unlink(dir.file("d.ent").c_str()), mkdir(dir.file("d.ent").c_str(), 0755); },
       "Building d.wrd...\nBuilding d.wid...\nError: d.ent is a directory; nothing is changed.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    restore(dir.path(), built);
    rmdir(dir.file("d.ent").c_str());
    c.prepare();
    std::string before = snapshot(dir.path());
    RunResult r = lexorn(dir.path(), c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(snapshot(dir.path()), before);
    rmdir(dir.file("d.ent").c_str());
    unlink(dir.file("d.xm~/x").c_str());
    rmdir(dir.file("d.xm~").c_str());
  }
}

// A dictionary already in the normal form the structure pass writes is left
// as it is: same file, same time, nothing staged for it, so nothing in the
// way of a rewrite matters.
TEST(FailedRuns, ADictionaryInNormalFormIsNotRewritten) {
  TempDir dir;
  writeFile(dir.file("d.xml"), kOld);
  ASSERT_EQ(lexorn(dir.path(), {"-f", "d"}).status, 0);
  struct stat was {};
  ASSERT_EQ(stat(dir.file("d.xml").c_str(), &was), 0);
  const std::string normal = readFile(dir.file("d.xml"));
  mkdir(dir.file("d.xm~").c_str(), 0755);
  writeFile(dir.file("d.xm~/x"), "");
  RunResult r = lexorn(dir.path(), {"-f", "-s", "d"});
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat now {};
  ASSERT_EQ(stat(dir.file("d.xml").c_str(), &now), 0);
  EXPECT_EQ(now.st_ino, was.st_ino);
  EXPECT_EQ(now.st_mtim.tv_sec * 1000000000L + now.st_mtim.tv_nsec,
            was.st_mtim.tv_sec * 1000000000L + was.st_mtim.tv_nsec);
  EXPECT_EQ(readFile(dir.file("d.xml")), normal);
  // Any difference, even one byte short of the end, is written out.
  writeFile(dir.file("d.xml"), normal + " ");
  unlink(dir.file("d.xm~/x").c_str());
  rmdir(dir.file("d.xm~").c_str());
  EXPECT_EQ(lexorn(dir.path(), {"-f", "d"}).status, 0);
  EXPECT_EQ(readFile(dir.file("d.xml")), normal);
}

// The longest base name still builds: temporary names are never longer
// than the names they stand for.
TEST(FailedRuns, TheLongestBaseNameBuilds) {
  TempDir dir;
  std::string base(251, 'x');
  writeFile(dir.file(base + ".xml"), kOld);
  RunResult r = lexorn(dir.path(), {"-f", "-s", base});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testutil::listDir(dir.path()).size(), 6u);
}

// The rewritten dictionary keeps its permissions, and a symbolic link
// keeps pointing at the file it names, which is the one rewritten.
TEST(FailedRuns, TheDictionaryKeepsItsModeAndItsLink) {
  TempDir dir;
  std::string real = dir.file("store.xml");
  writeFile(real, "<e><a>x</a></e>\n");
  ASSERT_EQ(chmod(real.c_str(), 0444), 0);
  ASSERT_EQ(symlink("store.xml", dir.file("d.xml").c_str()), 0);
  ASSERT_EQ(lexorn(dir.path(), {"-f", "d"}).status, 0);
  struct stat st;
  ASSERT_EQ(lstat(dir.file("d.xml").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_EQ(readFile(real), "<?xml version=\"1.0\"?>\n<E><A>x</A></E>\n");
  EXPECT_EQ(leftovers(dir.path()), "");
}

// Damaged or incomplete sets are refused by the read-only open with
// status 2, never answered from.
TEST(DamagedSets, AreRefusedWithStatusTwo) {
  TempDir dir;
  writeFile(dir.file("d.xml"), kOld);
  ASSERT_EQ(lexorn(dir.path(), {"d"}).status, 0);
  const Files built = everyFile(dir.path());
  const std::string ent = built.at("d.ent"), eid = built.at("d.eid"), wid = built.at("d.wid");
  std::string eidInside = eid;
  eidInside[4 + 7 * 2 + 3] += 2;  // entry 3 now starts two bytes into itself
  std::string widCount = wid;
  widCount.replace(0, 4, std::string(4, '\0'));  // a chunk of no codes
  std::string defCut = built.at("d.def").substr(0, built.at("d.def").rfind("  1"));
  struct Case {
    const char* file;
    std::string bytes;
    std::vector<std::string> query;
    std::string err;
  } cases[] = {
      {"d.ent", ent.substr(0, ent.size() - 2), {"entry", "1"}, "Error: d.ent is damaged: entry 14 at offset "},
      {"d.eid", eidInside, {"entry", "3"}, "Error: d.ent is damaged: entry 3 at offset "},
      {"d.wid", widCount, {"words", "E.HW"}, "Error: d.wid is damaged: a chunk holds an impossible count"},
      {"d.def", defCut, {"entry", "2"}, "Error: Packed entry holds tag 3, which the structure description"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    restore(dir.path(), built);
    writeFile(dir.file(c.file), c.bytes);
    std::vector<std::string> argv{findTool(), "d"};
    argv.insert(argv.end(), c.query.begin(), c.query.end());
    RunResult r = testutil::run(argv, dir.path());
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
  }
  // A run killed while putting a generation in place is not read from.
  restore(dir.path(), built);
  writeFile(dir.file("d.upd"), "file .wid\n");
  RunResult r = testutil::run({findTool(), "d", "entry", "1"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Error: Dictionary d is being updated (or an update was interrupted: run lexorn d to finish it).\n");
}

// Lookups beside builds that keep replacing the files: every answer is the
// old generation's or the new one's, or a refusal; never a crash.
TEST(ConcurrentReaders, SeeOneGenerationOrAreRefused) {
  TempDir dir;
  std::string a, b;
  for (int i = 0; i < 30; ++i) a += kOld, b += kEdited;
  writeFile(dir.file("a.xml"), a);
  writeFile(dir.file("b.xml"), b);
  writeFile(dir.file("d.xml"), a);
  ASSERT_EQ(lexorn(dir.path(), {"d"}).status, 0);
  std::vector<std::string> query{findTool(), "d", "entry", "3"};  // cat, then cow
  const std::string answerA = testutil::run(query, dir.path()).out;
  writeFile(dir.file("d.xml"), b);
  ASSERT_EQ(lexorn(dir.path(), {"-f", "d"}).status, 0);
  const std::string answerB = testutil::run(query, dir.path()).out;
  ASSERT_NE(answerA, answerB);

  pid_t writer = fork();
  if (writer == 0) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
      writeFile(dir.file("d.xml"), i % 2 ? a : b);
      lexorn(dir.path(), {"-f", "d"});
      lexorn(dir.path(), {"-s", "d"});
    }
    _exit(0);
  }
  int answered = 0, refused = 0;
  while (waitpid(writer, nullptr, WNOHANG) == 0) {
    RunResult r = testutil::run(query, dir.path());
    ASSERT_EQ(r.signal, 0) << "the reader crashed";
    if (r.status == 2) {
      EXPECT_EQ(r.err.rfind("Error: ", 0), 0u) << r.err;
      ++refused;
      continue;
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == answerA || r.out == answerB) << r.out;
    ++answered;
  }
  EXPECT_GT(answered, 0);
  std::cout << "[ " << answered << " answers, " << refused << " refusals ]\n";
}

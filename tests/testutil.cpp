#include "testutil.h"

#include <sched.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace testutil {

namespace {
void removeTree(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (d) {
    while (dirent* e = readdir(d)) {
      if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
      std::string p = path + "/" + e->d_name;
      struct stat st;
      if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        removeTree(p);
      else
        unlink(p.c_str());
    }
    closedir(d);
  }
  rmdir(path.c_str());
}
}  // namespace

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/lexorn-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) abort();
  path_ = buf.data();
}

TempDir::~TempDir() { removeTree(path_); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> listDir(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string snapshot(const std::string& dir) {
  std::string out;
  for (const std::string& name : listDir(dir)) {
    std::string path = dir + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    uint64_t digest = 1469598103934665603ULL;  // FNV-1a over the bytes
    for (unsigned char c : readFile(path)) digest = (digest ^ c) * 1099511628211ULL;
    long long ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    out += name + " " + std::to_string(st.st_size) + " " + std::to_string(ns) + " " +
           std::to_string(digest) + "\n";
  }
  return out;
}

RunResult run(const std::vector<std::string>& argv, const std::string& cwd,
              const std::vector<std::string>& env) {
  TempDir io;
  std::string outPath = io.file("out"), errPath = io.file("err");
  RunResult r;
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    int in = open("/dev/null", O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    alarm(600);  // a program that hangs fails its test instead of the suite
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
  if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
  r.out = readFile(outPath);
  r.err = readFile(errPath);
  return r;
}

CaptureFd::CaptureFd(int fd) : fd_(fd) {
  fflush(nullptr);
  char tmpl[] = "/tmp/lexorn-capture-XXXXXX";
  int t = mkstemp(tmpl);
  file_ = tmpl;
  saved_ = dup(fd_);
  dup2(t, fd_);
  ::close(t);
}

std::string CaptureFd::text() {
  if (!done_) {
    fflush(nullptr);
    dup2(saved_, fd_);
    ::close(saved_);
    text_ = readFile(file_);
    unlink(file_.c_str());
    done_ = true;
  }
  return text_;
}

CaptureFd::~CaptureFd() { text(); }

std::string hex(const std::string& spaced) {
  std::string out;
  std::istringstream in(spaced);
  std::string byte;
  while (in >> byte) out.push_back(static_cast<char>(std::stoi(byte, nullptr, 16)));
  return out;
}

std::string tohex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

PinToOneCore::PinToOneCore() : saved_(sizeof(cpu_set_t)) {
  auto* saved = reinterpret_cast<cpu_set_t*>(saved_.data());
  sched_getaffinity(0, sizeof(cpu_set_t), saved);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, saved)) {
      CPU_SET(c, &one);
      break;
    }
  sched_setaffinity(0, sizeof one, &one);
}

PinToOneCore::~PinToOneCore() {
  sched_setaffinity(0, sizeof(cpu_set_t), reinterpret_cast<cpu_set_t*>(saved_.data()));
}

}  // namespace testutil

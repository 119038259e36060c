// WidFeed: the word-to-entry index written while the entry pass runs.
//
// The entry pass knows every occurrence as it packs an entry: the feed
// takes each newly numbered word and each entry's cells, in the order of
// the entry file, and a thread of its own writes them through a WidWriter,
// batch after batch exactly as the pass over the entry file would, so the
// file comes out byte for byte the same. What the pass would report
// (progress, failures, the close) is left to it (DictIO::makeWid).
//
// Cells are handed to the thread a few tens of thousands at a time, two
// handovers ahead at most; the thread adds the batch maxEnt asks for. On a
// machine with one core the cells are written on the caller's thread as
// they are handed over.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "base/passfile.h"
#include "base/word.h"
#include "dictio/widwriter.h"

class WidFeed {
 public:
  // Writes into `wid` (open for reading and writing, unbuffered).
  WidFeed(PassFile wid, long maxEnt, size_t expectedCells);
  // Stops the thread; what it did not write is dropped with the file.
  ~WidFeed();
  WidFeed(const WidFeed&) = delete;
  WidFeed& operator=(const WidFeed&) = delete;

  // A newly numbered word; numbers come in order from 1.
  void word(wrdrec_t* rec);
  // The next occurrence: word << 32 | tag << 24 | entry.
  void cell(uint64_t cell) {
    pending_.cells.push_back(cell);
    if (pending_.cells.size() >= kHandover) handOver();
  }
  // Waits until everything handed over is written.
  void finish();

  PassFile& file() { return wid_; }
  // After finish().
  const WidWriter& writer() const { return writer_; }

 private:
  static constexpr size_t kHandover = 1 << 15;
  static constexpr size_t kAhead = 2;

  struct Handover {
    std::vector<wrdrec_t*> words;
    std::vector<uint64_t> cells;
  };

  static void runOn(void* self) { static_cast<WidFeed*>(self)->run(); }
  void run();
  void handOver();
  void write(const Handover& h);

  PassFile wid_;
  std::vector<wrdrec_t*> byNumber_;  // the writing thread's
  WidWriter writer_;
  Handover pending_;  // the caller's
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Handover> queue_;
  bool ended_ = false;
  bool dropped_ = false;
  bool finished_ = false;
  std::thread thread_;  // last: started once everything above is ready
};

// ConvertingWriter: converts batches of rendered entries (UTF-8) to
// ISO-8859-2 and writes them to an AtomicFile on a thread of its own, so
// that conversion and writing overlap with parsing.
//
// At most two batches exist at a time: the one being filled by the caller
// and the one being written; hand() waits while the writer is still busy
// with the previous batch. So memory stays bounded whatever the input.
// The converter belongs to the writer thread until finish() returns; its
// counts are read after that.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "import/latin2.h"
#include "import/output.h"

class ConvertingWriter {
 public:
  ConvertingWriter(AtomicFile* out, Latin2Converter* latin2);
  ~ConvertingWriter();
  ConvertingWriter(const ConvertingWriter&) = delete;
  ConvertingWriter& operator=(const ConvertingWriter&) = delete;

  // Takes the contents of *batch (leaving it empty, its room kept for
  // reuse). False once a write has failed; nothing more is written then.
  bool hand(std::string* batch);
  // Waits until everything handed over is written and stops the thread.
  // False when a write failed (the AtomicFile's error() says why).
  bool finish();

 private:
  void run();

  AtomicFile* out_;
  Latin2Converter* latin2_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string work_;       // the batch handed over, while `pending_`
  std::string converted_;  // the writer thread's own buffer
  bool pending_ = false;
  bool closing_ = false;
  bool failed_ = false;
  std::thread thread_;
};

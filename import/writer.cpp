#include "import/writer.h"

ConvertingWriter::ConvertingWriter(AtomicFile* out, Latin2Converter* latin2)
    : out_(out), latin2_(latin2), thread_([this] { run(); }) {}

ConvertingWriter::~ConvertingWriter() { finish(); }

bool ConvertingWriter::hand(std::string* batch) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !pending_ || failed_; });
  if (failed_) return false;
  work_.swap(*batch);
  batch->clear();
  pending_ = true;
  changed_.notify_all();
  return true;
}

bool ConvertingWriter::finish() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  return !failed_;
}

void ConvertingWriter::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return pending_ || closing_; });
    if (!pending_) return;
    lock.unlock();
    converted_.clear();
    latin2_->convert(work_, &converted_);
    bool ok = out_->write(converted_);
    lock.lock();
    pending_ = false;
    failed_ = failed_ || !ok;
    changed_.notify_all();
  }
}

#include "dictio/widfeed.h"

#include <utility>

#include "base/readahead.h"

WidFeed::WidFeed(PassFile wid, long maxEnt, size_t expectedCells)
    : wid_(std::move(wid)),
      writer_(wid_.get(), maxEnt,
              [this](uint32_t w) { return w < byNumber_.size() ? byNumber_[w] : nullptr; },
              expectedCells) {
  pending_.cells.reserve(kHandover);
  if (availableCores() > 1) thread_ = startThread(&WidFeed::runOn, this);
}

WidFeed::~WidFeed() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    dropped_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void WidFeed::word(wrdrec_t* rec) { pending_.words.push_back(rec); }

void WidFeed::write(const Handover& h) {
  for (wrdrec_t* rec : h.words) {
    if (rec->num < 1) continue;
    const size_t num = static_cast<size_t>(rec->num);
    if (byNumber_.size() <= num) byNumber_.resize(num + 1);
    byNumber_[num] = rec;
  }
  for (uint64_t c : h.cells) writer_.add(c);
}

void WidFeed::handOver() {
  if (!thread_.joinable()) {
    write(pending_);
  } else {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kAhead; });
    queue_.push_back(std::move(pending_));
    lock.unlock();
    changed_.notify_all();
  }
  pending_ = Handover();
  pending_.cells.reserve(kHandover);
}

void WidFeed::run() {
  for (;;) {
    Handover h;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || ended_; });
      if (dropped_ || queue_.empty()) break;
      h = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    write(h);
  }
  releaseThreadMemory();
}

void WidFeed::finish() {
  if (finished_) return;
  finished_ = true;
  if (!pending_.cells.empty() || !pending_.words.empty()) handOver();
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ended_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  writer_.finish();
}

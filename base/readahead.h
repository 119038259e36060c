// ReadAhead: items made on a thread of their own and taken in order.
//
// A pass that reads its input and works on what it read can do both at once
// on two cores: the reading runs ahead on a thread, at most `depth` items,
// and the pass takes the items in the order they were made. On a machine
// with one core the items are made on the caller's thread as it asks for
// them. Either way the pass sees the same items in the same order; whatever
// the making would write (messages, progress) travels in the item, so that
// the pass writes it when it takes the item, where a pass without a thread
// would have written it.
//
// `make` runs on the reading thread only, and must touch nothing the pass
// touches meanwhile. Ending early is allowed: the destructor stops the
// thread after the item it is making, and drops what was not taken.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

// Cores this process may run on (at least 1).
int availableCores();

// Runs `run(arg)` on a new thread. The thread's state is then of one type
// for every ReadAhead, and none of the library's internal types shows in a
// shared library's interface through the standard library's templates.
std::thread startThread(void (*run)(void*), void* arg);

template <typename T>
class ReadAhead {
 public:
  // `make` fills an item and returns true, or returns false at the end.
  ReadAhead(std::function<bool(T&)> make, size_t depth)
      : make_(std::move(make)), depth_(depth < 1 ? 1 : depth) {
    if (availableCores() > 1) thread_ = startThread(&ReadAhead::runOn, this);
  }
  ~ReadAhead() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next item; false at the end.
  bool next(T& out) {
    if (!thread_.joinable()) {
      T item;  // made afresh, as on the thread
      ended_ = ended_ || !make_(item);
      if (!ended_) out = std::move(item);
      return !ended_;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !items_.empty() || ended_; });
    if (items_.empty()) return false;
    out = std::move(items_.front());
    items_.pop_front();
    lock.unlock();
    changed_.notify_all();
    return true;
  }

 private:
  static void runOn(void* self) { static_cast<ReadAhead*>(self)->run(); }
  void run() {
    for (;;) {
      T item;
      const bool more = make_(item);
      std::unique_lock<std::mutex> lock(mutex_);
      if (!more) {
        ended_ = true;
        break;
      }
      changed_.wait(lock, [this] { return items_.size() < depth_ || stop_; });
      if (stop_) break;
      items_.push_back(std::move(item));
      lock.unlock();
      changed_.notify_all();
    }
    changed_.notify_all();
  }

  std::function<bool(T&)> make_;
  const size_t depth_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<T> items_;
  bool ended_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: started once everything above is ready
};

// ReadAhead: items made on a thread of their own and taken in order.
//
// A pass that reads its input and works on what it read can do both at once
// on two cores: the reading runs ahead on a thread, a few batches of items,
// and the pass takes the items in the order they were made. On a machine
// with one core the items are made on the caller's thread as it asks for
// them. Either way the pass sees the same items in the same order; whatever
// the making would write (messages, progress) travels in the item, so that
// the pass writes it when it takes the item, where a pass without a thread
// would have written it.
//
// `make` runs on the reading thread only, and must touch nothing the pass
// touches meanwhile. Ending early is allowed: the destructor stops the
// thread after the batch it is making, and drops what was not taken.
#pragma once

#include <atomic>
#include <concepts>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Cores this process may run on (at least 1).
int availableCores();

// Runs `run(arg)` on a new thread. The thread's state is then of one type
// for every ReadAhead, and none of the library's internal types shows in a
// shared library's interface through the standard library's templates.
std::thread startThread(void (*run)(void*), void* arg);

// Gives back to the system what a finished reading thread's allocations
// left free: the pass after it would otherwise run beside that memory.
void releaseThreadMemory();

// An item that tells its weight (roughly, the memory it holds): a batch
// of such items also ends once they weigh ReadAhead::kBatchWeight, so that
// a run of large items does not travel in full batches.
template <typename T>
concept Weighed = requires(const T& item) {
  { item.weight() } -> std::convertible_to<size_t>;
};

template <typename T>
class ReadAhead {
 public:
  // `make` fills an item and returns true, or returns false at the end.
  // Items pass between the threads in batches of `batch`, at most
  // `batchesAhead` batches ahead of the pass: one hand-over per item would
  // cost more in waking threads than the reading it saves.
  ReadAhead(std::function<bool(T&)> make, size_t batch, size_t batchesAhead = 4)
      : ReadAhead(std::move(make), nullptr, batch, batchesAhead) {}
  // Weight at which a batch of Weighed items ends, whatever their number.
  static constexpr size_t kBatchWeight = size_t{1} << 18;
  // What becomes of an item once `spend` has had it.
  enum class Spent { kDestroyed, kMadeAgain };
  // The same, and `spend` is given each item the pass is done with, on the
  // thread that made it: what it gives back there can serve the next items
  // without passing between threads. The item is then destroyed or, with
  // Spent::kMadeAgain, given to `make` again in place of a new one: `spend`
  // must then leave it as a new item is, though its strings and vectors may
  // keep their room, which spares the reading thread their allocations.
  ReadAhead(std::function<bool(T&)> make, std::function<void(T&)> spend, size_t batch,
            size_t batchesAhead = 4, Spent spent = Spent::kDestroyed)
      : make_(std::move(make)),
        spend_(std::move(spend)),
        batch_(batch < 1 ? 1 : batch),
        batchesAhead_(batchesAhead < 1 ? 1 : batchesAhead),
        madeAgain_(spend_ && spent == Spent::kMadeAgain) {
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
    releaseThreadMemory();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next item; false at the end. What `out` held comes back to the
  // reading thread, to be spent there.
  bool next(T& out) {
    if (!thread_.joinable()) {
      if (spend_) spend_(out);
      T item = madeAgain_ ? std::move(out) : T();  // as on the thread
      ended_ = ended_ || !make_(item);
      if (!ended_) out = std::move(item);
      return !ended_;
    }
    if (taken_ == current_.size() && !takeBatch()) return false;
    std::swap(out, current_[taken_++]);
    return true;
  }

 private:
  static void runOn(void* self) { static_cast<ReadAhead*>(self)->run(); }

  bool takeBatch() {
    yieldWhile([this] { return ready_.load(std::memory_order_acquire) == 0; });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !batches_.empty() || ended_; });
    if (batches_.empty()) return false;
    spent_.push_back(std::move(current_));
    current_ = std::move(batches_.front());
    batches_.pop_front();
    ready_.store(batches_.size() + (ended_ ? 1 : 0), std::memory_order_release);
    taken_ = 0;
    lock.unlock();
    changed_.notify_all();
    return true;
  }

  void run() {
    bool more = true;
    while (more) {
      freeSpent();
      std::vector<T> batch;
      batch.reserve(batch_);
      size_t weight = 0;
      while (batch.size() < batch_ && weight < kBatchWeight) {
        T item = takeSpent();
        if (!(more = make_(item))) break;
        if constexpr (Weighed<T>) weight += item.weight();
        batch.push_back(std::move(item));
      }
      yieldWhile([this] { return ready_.load(std::memory_order_acquire) >= batchesAhead_; });
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return batches_.size() < batchesAhead_ || stop_; });
      if (stop_) break;
      if (!batch.empty()) batches_.push_back(std::move(batch));
      ended_ = !more;
      ready_.store(batches_.size() + (ended_ ? 1 : 0), std::memory_order_release);
      lock.unlock();
      changed_.notify_all();
    }
  }

  // What either thread waits for (a batch, or room for one) is usually
  // moments away: looking again for a while costs less than sleeping, since
  // waking a sleeping thread costs the other thread a system call (in a
  // virtual machine, much more). The caller sleeps after, if still waiting.
  template <typename Waiting>
  static void yieldWhile(Waiting waiting) {
    for (int i = 0; i < kSpins && waiting(); ++i) std::this_thread::yield();
  }

  // Frees, on the reading thread, the items the pass is done with. Memory
  // is then given back to the thread that took it: two threads working on
  // one allocator's pool would wait for each other at every node.
  void freeSpent() {
    std::deque<std::vector<T>> spent;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      spent.swap(spent_);
    }
    if (!spend_) return;
    for (std::vector<T>& batch : spent) {
      for (T& item : batch) {
        spend_(item);
        if (madeAgain_ && again_.size() < batch_ * (batchesAhead_ + 3))
          again_.push_back(std::move(item));
      }
    }
  }

  // A spent item to be made again, or a new one (on the reading thread).
  T takeSpent() {
    if (again_.empty()) return T();
    T item = std::move(again_.back());
    again_.pop_back();
    return item;
  }

  // Times a waiting thread yields before it sleeps: about as long as the
  // other takes for a batch.
  static constexpr int kSpins = 128;

  std::function<bool(T&)> make_;
  std::function<void(T&)> spend_;
  const size_t batch_;
  const size_t batchesAhead_;
  const bool madeAgain_;
  std::vector<T> again_;  // spent items to be made again: the reading thread's
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<T>> batches_;  // made, not yet taken
  std::deque<std::vector<T>> spent_;    // taken, the pass done with them
  bool ended_ = false;
  bool stop_ = false;
  std::atomic<size_t> ready_{0};  // batches_.size(), one more once ended_: read without the lock
  std::vector<T> current_;  // the batch being taken, by the pass alone
  size_t taken_ = 0;
  std::thread thread_;  // last: started once everything above is ready
};

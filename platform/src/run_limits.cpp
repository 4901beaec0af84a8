// Job limits: the watchdog thread that raises interrupt flags at their deadlines, the current
// job of each thread, and memory budgets.

#include "corvella/platform/run_limits.h"

#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <thread>

namespace corvella::platform {

namespace {

thread_local RunLimits* tCurrent = nullptr;

// One thread for every deadline of the process: it sleeps until the earliest one and raises its
// flag. Never destroyed, so that jobs ending during the program's exit find it intact.
class Watchdog {
 public:
  static Watchdog& Get() {
    static Watchdog* instance = new Watchdog();
    return *instance;
  }

  uint64_t Add(std::chrono::steady_clock::time_point when, std::atomic<bool>* flag) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_) {
      std::thread([this] { Loop(); }).detach();
      started_ = true;
    }
    uint64_t id = ++nextId_;
    entries_.emplace(Key{when, id}, flag);
    wake_.notify_one();
    return id;
  }

  void Remove(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->first.id == id) {
        entries_.erase(it);
        return;
      }
    }
  }

 private:
  struct Key {
    std::chrono::steady_clock::time_point when;
    uint64_t id;
    bool operator<(const Key& other) const {
      return when != other.when ? when < other.when : id < other.id;
    }
  };

  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      if (entries_.empty()) {
        wake_.wait(lock);
        continue;
      }
      auto first = entries_.begin();
      if (std::chrono::steady_clock::now() >= first->first.when) {
        first->second->store(true, std::memory_order_relaxed);
        entries_.erase(first);
        continue;
      }
      // A copy: while this thread waits, Remove may erase the entry that holds the deadline.
      const std::chrono::steady_clock::time_point when = first->first.when;
      wake_.wait_until(lock, when);
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::map<Key, std::atomic<bool>*> entries_;
  uint64_t nextId_ = 0;
  bool started_ = false;
};

}  // namespace

MemoryBudget* MemoryBudget::Create(size_t limit) {
  // Outside the counted heap: a budget is no allocation of any job.
  void* raw = std::malloc(sizeof(MemoryBudget));
  if (raw == nullptr) throw std::bad_alloc();
  return new (raw) MemoryBudget(limit);
}

void MemoryBudget::Drop() noexcept {
  if (holds_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    this->~MemoryBudget();
    std::free(this);
  }
}

RunLimits::RunLimits(size_t memoryLimit) : budget_(MemoryBudget::Create(memoryLimit)) {
}

RunLimits::~RunLimits() {
  if (watch_ != 0) Watchdog::Get().Remove(watch_);
  budget_->Drop();
}

void RunLimits::SetDeadline(std::chrono::steady_clock::time_point deadline) {
  if (watch_ != 0) Watchdog::Get().Remove(watch_);
  watch_ = 0;
  if (std::chrono::steady_clock::now() >= deadline) {
    Interrupt();
    return;
  }
  watch_ = Watchdog::Get().Add(deadline, &flag_);
}

RunLimits* CurrentLimits() noexcept {
  return tCurrent;
}

LimitsScope::LimitsScope(RunLimits* limits) noexcept : saved_(tCurrent) {
  tCurrent = limits;
}

LimitsScope::~LimitsScope() {
  tCurrent = saved_;
}

MemoryBudget* CurrentBudget() noexcept {
  return tCurrent != nullptr ? &tCurrent->Budget() : nullptr;
}

}  // namespace corvella::platform

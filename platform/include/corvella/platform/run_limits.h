#pragma once
/// @file
/// The limits of one job (a script run, a page request) that every layer below it can obey: an
/// interrupt flag that a watchdog raises when the job's deadline passes, and a memory budget that
/// counts what the job allocates.
///
/// A job makes a RunLimits and a LimitsScope on the thread that runs it. Long loops anywhere
/// (string searches, pixel rows) call CheckInterrupt(), which throws Interrupted once the flag is
/// set; the job's top catches it. Memory is counted by the pixel buffers, which charge the budget
/// themselves, and, in programs that link the counting allocation functions (the command does),
/// by every heap allocation made on the job's thread until it is freed, wherever that happens.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace corvella::platform {

/// Thrown by CheckInterrupt when the running job's interrupt flag is set. It is no Error: no
/// error handler of a script may swallow it.
struct Interrupted {};

/// The bytes a job holds and the most it may hold. Kept alive by the job and by every allocation
/// it counted (Retain, Drop), so that memory freed after the job has ended is still taken off the
/// right account.
class MemoryBudget {
 public:
  /// A new budget, held once by the caller.
  static MemoryBudget* Create(size_t limit);
  /// Counts @p bytes; false (nothing counted) when they would pass the limit.
  bool TryCharge(size_t bytes) noexcept {
    size_t now = used_.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    if (now > limit_ || now < bytes) {
      used_.fetch_sub(bytes, std::memory_order_relaxed);
      return false;
    }
    return true;
  }
  void Release(size_t bytes) noexcept { used_.fetch_sub(bytes, std::memory_order_relaxed); }
  size_t Used() const noexcept { return used_.load(std::memory_order_relaxed); }
  size_t Limit() const noexcept { return limit_; }
  void Retain() noexcept { holds_.fetch_add(1, std::memory_order_relaxed); }
  /// Gives up one hold; the last one frees the budget.
  void Drop() noexcept;

 private:
  explicit MemoryBudget(size_t limit) : limit_(limit) {}
  std::atomic<size_t> used_{0};
  std::atomic<size_t> holds_{1};
  size_t limit_;
};

/// The limits of one job.
class RunLimits {
 public:
  /// Limits with no deadline and a memory budget of @p memoryLimit bytes (unlimited by default).
  explicit RunLimits(size_t memoryLimit = SIZE_MAX);
  ~RunLimits();
  RunLimits(const RunLimits&) = delete;
  RunLimits& operator=(const RunLimits&) = delete;

  /// Has the watchdog raise the flag at @p deadline (replacing an earlier deadline).
  void SetDeadline(std::chrono::steady_clock::time_point deadline);
  /// Raises the flag now; safe from any thread.
  void Interrupt() noexcept { flag_.store(true, std::memory_order_relaxed); }
  bool IsInterrupted() const noexcept { return flag_.load(std::memory_order_relaxed); }
  /// The flag itself, for loops that poll it directly.
  const std::atomic<bool>& Flag() const noexcept { return flag_; }

  MemoryBudget& Budget() const noexcept { return *budget_; }

 private:
  std::atomic<bool> flag_{false};
  MemoryBudget* budget_;
  uint64_t watch_ = 0;  // the watchdog's entry, 0 when none
};

/// The limits of the job running on this thread, or nullptr.
RunLimits* CurrentLimits() noexcept;

/// Makes @p limits the current thread's job limits for its lifetime (the previous ones after).
class LimitsScope {
 public:
  explicit LimitsScope(RunLimits* limits) noexcept;
  ~LimitsScope();
  LimitsScope(const LimitsScope&) = delete;
  LimitsScope& operator=(const LimitsScope&) = delete;

 private:
  RunLimits* saved_;
};

/// Throws Interrupted when the current job's flag is set. Cheap enough to call once per row of
/// pixels or per chunk of a long search.
inline void CheckInterrupt() {
  RunLimits* limits = CurrentLimits();
  if (limits != nullptr && limits->IsInterrupted()) throw Interrupted{};
}

/// The budget that allocations on this thread are counted against now, or nullptr.
MemoryBudget* CurrentBudget() noexcept;

}  // namespace corvella::platform

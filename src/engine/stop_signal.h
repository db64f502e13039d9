// A request to stop a walk or a deletion between two files, made from any
// thread or from a signal handler.
#pragma once

#include <atomic>

namespace tidwen {

class StopSignal {
 public:
  static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may set it");

  // Safe in a signal handler.
  void Request() noexcept { requested_.store(true, std::memory_order_relaxed); }
  bool Requested() const noexcept { return requested_.load(std::memory_order_relaxed); }
  void Reset() noexcept { requested_.store(false, std::memory_order_relaxed); }

 private:
  std::atomic<bool> requested_{false};
};

}  // namespace tidwen

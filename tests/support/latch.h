// A gate one thread opens and another waits at: how a test holds a worker
// at a chosen point until the window's thread has done something.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tidwen::test {

// Opened once, from any thread.
class Latch {
 public:
  void Open() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }
  // Whether it opened within bound: a bound against hanging, never a
  // measure of time.
  bool Wait(std::chrono::seconds bound = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return opened_.wait_for(lock, bound, [&] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

}  // namespace tidwen::test

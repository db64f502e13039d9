// The window's event loop for tests without a window: Run() takes the
// runner's wakes one at a time on the test's own thread, which stands for
// the window's. A delayed wake fires once no other wake waits: the time in
// between is the test's to set, never the clock's.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "frontend/common/command_runner.h"

namespace tidwen::test {

class TestWindowLoop : public frontend::WindowLoop {
 public:
  void Wake() override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++pendingWakes_;
      ++wakes_;
    }
    changed_.notify_all();
  }
  void WakeAfter(std::chrono::milliseconds delay) override {
    ExpectWindowThread();
    delays.push_back(delay);
    ++pendingTimers_;
  }
  void Run() override {
    ExpectWindowThread();
    quit_ = false;
    while (!quit_) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return pendingWakes_ > 0 || pendingTimers_ > 0; });
      if (pendingWakes_ > 0) {
        --pendingWakes_;
      } else {
        --pendingTimers_;
      }
      lock.unlock();
      if (beforeDrain) beforeDrain();
      runner->Drain();
    }
  }
  void Quit() override {
    ExpectWindowThread();
    quit_ = true;
  }

  // Wake() calls so far, from any thread.
  int Wakes() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return wakes_;
  }

  frontend::CommandRunner* runner = nullptr;
  // Runs on the window's thread before each drain.
  std::function<void()> beforeDrain;
  std::deque<std::chrono::milliseconds> delays;  // of WakeAfter(), in order
  // The thread that made the loop stands for the window's.
  const std::thread::id windowThread = std::this_thread::get_id();

 private:
  void ExpectWindowThread() const {
    EXPECT_EQ(std::this_thread::get_id(), windowThread) << "called off the window's thread";
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  int pendingWakes_ = 0;
  int wakes_ = 0;
  int pendingTimers_ = 0;  // the window's thread alone
  bool quit_ = false;
};

}  // namespace tidwen::test

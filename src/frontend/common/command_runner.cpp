#include "frontend/common/command_runner.h"

#include <algorithm>

namespace tidwen::frontend {

CommandRunner::~CommandRunner() {
  if (!worker_.joinable()) return;
  Abandon();
  worker_.join();
}

void CommandRunner::Abandon() {
  stop_.Request();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
  }
  shownChanged_.notify_all();
}

void CommandRunner::Queued(std::unique_lock<std::mutex>& lock, bool wait) {
  const std::uint64_t ticket = ++queued_;
  // An update to wait for is shown at once; others wait for a wake on its
  // way, which comes at the pacer's rate.
  const bool wake = wait || !wakeOnItsWay_;
  wakeOnItsWay_ = true;
  if (wake) {
    lock.unlock();
    loop_.Wake();
    lock.lock();
  }
  if (wait) shownChanged_.wait(lock, [&] { return shown_ >= ticket || abandoned_; });
}

void CommandRunner::Run(CommandFeed& feed, const std::function<void(CommandWorker&)>& work) {
  feed_ = &feed;
  showError_ = nullptr;
  stop_.Reset();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queued_ = shown_ = 0;
    wakeOnItsWay_ = done_ = abandoned_ = false;
    workError_ = nullptr;
  }
  pacer_.SetHeld(true);
  // However the loop ends, the worker has ended before the feed and the
  // work it uses go away.
  struct Finish {
    CommandRunner& runner;
    ~Finish() {
      if (runner.worker_.joinable()) {
        runner.Abandon();
        runner.worker_.join();
      }
      runner.pacer_.SetHeld(false);
      runner.feed_ = nullptr;
    }
  } finish{*this};
  worker_ = std::thread([this, &work] {
    CommandWorker worker(*this);
    std::exception_ptr error;
    try {
      work(worker);
    } catch (...) {
      error = std::current_exception();
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      workError_ = error;
      done_ = true;
    }
    loop_.Wake();
  });
  loop_.Run();
  worker_.join();
  // The last round: what the worker handed over last is on screen.
  pacer_.Flush();
  std::exception_ptr error = showError_ ? showError_ : workError_;
  if (error) std::rethrow_exception(error);
}

void CommandRunner::Drain() {
  if (feed_ == nullptr || draining_) return;
  draining_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{draining_};
  bool took = false;
  bool done = false;
  std::uint64_t taken = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    took = feed_->Take();
    taken = queued_;
    done = done_;
    // Nothing came since the last drain: the next update wakes the window
    // at once.
    if (!took && !done) wakeOnItsWay_ = false;
  }
  if (!showError_) {
    try {
      if (took) feed_->Apply();
      // A round even when nothing came: what the last drain showed reaches
      // the screen while the worker is held up (a slow directory), not only
      // when it hands over more.
      pacer_.Round();
    } catch (...) {
      // Nothing more is shown; the work is asked to stop, and what was
      // thrown is thrown once it has.
      showError_ = std::current_exception();
      stop_.Request();
    }
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    shown_ = std::max(shown_, taken);
  }
  shownChanged_.notify_all();
  if (done) {
    loop_.Quit();
  } else if (took || pacer_.Waiting()) {
    // More may come meanwhile, and a repaint may wait: look again at the
    // pacer's next round.
    loop_.WakeAfter(std::max(pacer_.UntilDue(), std::chrono::milliseconds(1)));
  }
}

}  // namespace tidwen::frontend

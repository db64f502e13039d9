// Runs the long part of a command, a scan's walk or a deletion's batch, on a
// worker thread while the window's thread runs its event loop, and hands
// what the worker makes to the window's thread at the repaint pacer's rate.
//
// Threads: the worker touches no control. It queues updates into the
// command's feed under the runner's lock; the window's thread takes them
// and shows them. Where the worker must wait for the window (a failure's
// box to be answered), it queues and waits until the window has shown it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/stop_signal.h"
#include "frontend/common/repaint_pacer.h"

namespace tidwen::frontend {

// The window's event loop as a runner needs it; each front end implements
// it over its toolkit.
class WindowLoop {
 public:
  virtual ~WindowLoop() = default;
  // From any thread, without blocking: has the window's thread call the
  // running command's CommandRunner::Drain() soon.
  virtual void Wake() = 0;
  // On the window's thread: the same once delay has passed.
  virtual void WakeAfter(std::chrono::milliseconds delay) = 0;
  // On the window's thread: runs the event loop until Quit(), the busy
  // policy applied to what it handles.
  virtual void Run() = 0;
  virtual void Quit() = 0;
};

// What a command's worker hands over: queued on the worker under the
// runner's lock, taken and shown on the window's thread.
class CommandFeed {
 public:
  virtual ~CommandFeed() = default;
  // On the window's thread, the runner's lock held: moves what was queued
  // aside for Apply(), quickly. False when nothing was.
  virtual bool Take() = 0;
  // On the window's thread, no lock held: shows what Take() moved aside,
  // in order. May show a box, and so run the event loop.
  virtual void Apply() = 0;
};

class CommandRunner;

// The worker's side of a running command.
class CommandWorker {
 public:
  // Runs fill with the runner's lock held, to queue an update into the
  // command's feed; the window shows it at its next round.
  template <class Fill>
  void Queue(Fill&& fill);
  // The same; then waits until the window has shown everything queued so
  // far (a failure's box has been answered), or can show nothing more.
  template <class Fill>
  void QueueAndWait(Fill&& fill);
  // Asked when the window can show nothing more: the work had better stop.
  const StopSignal& Stop() const;

 private:
  friend class CommandRunner;
  explicit CommandWorker(CommandRunner& runner) : runner_(runner) {}
  CommandRunner& runner_;
};

class CommandRunner {
 public:
  // loop and pacer are the window's, and outlive the runner.
  CommandRunner(WindowLoop& loop, RepaintPacer& pacer) : loop_(loop), pacer_(pacer) {}
  // Stops a worker still running and waits for it.
  ~CommandRunner();
  CommandRunner(const CommandRunner&) = delete;
  CommandRunner& operator=(const CommandRunner&) = delete;

  // On the window's thread: runs work on a worker thread and the window's
  // loop meanwhile, and returns once work has returned and the window shows
  // all it queued; throws what work threw, or what showing it threw. The
  // pacer is held meanwhile: its rounds come from the hand-overs.
  void Run(CommandFeed& feed, const std::function<void(CommandWorker&)>& work);
  // On the window's thread, when the loop wakes it: shows what the worker
  // queued, lets it go on if it waits, and ends the loop when it is done.
  // Inside a box that Apply() shows it does nothing; the outer call looks
  // again.
  void Drain();

 private:
  friend class CommandWorker;
  // The lock held: counts an update, wakes the window unless a wake is on
  // its way, and with wait, waits until the window has shown it.
  void Queued(std::unique_lock<std::mutex>& lock, bool wait);
  // The window can show nothing more: the worker stops waiting.
  void Abandon();

  WindowLoop& loop_;
  RepaintPacer& pacer_;
  std::thread worker_;
  StopSignal stop_;
  CommandFeed* feed_ = nullptr;  // set while Run() runs
  bool draining_ = false;        // the window's thread alone
  std::exception_ptr showError_;

  std::mutex mutex_;
  std::condition_variable shownChanged_;
  // Under mutex_.
  std::uint64_t queued_ = 0;   // updates queued
  std::uint64_t shown_ = 0;    // of them, shown
  bool wakeOnItsWay_ = false;  // a Wake() or a WakeAfter() will drain
  bool done_ = false;          // work has returned
  bool abandoned_ = false;     // the window shows nothing more
  std::exception_ptr workError_;
};

template <class Fill>
void CommandWorker::Queue(Fill&& fill) {
  std::unique_lock<std::mutex> lock(runner_.mutex_);
  fill();
  runner_.Queued(lock, /*wait=*/false);
}

template <class Fill>
void CommandWorker::QueueAndWait(Fill&& fill) {
  std::unique_lock<std::mutex> lock(runner_.mutex_);
  fill();
  runner_.Queued(lock, /*wait=*/true);
}

inline const StopSignal& CommandWorker::Stop() const { return runner_.stop_; }

}  // namespace tidwen::frontend

// Bounds how often the controls of a window repaint while a handler keeps
// the message loop waiting, so that painting never dominates a long scan.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

namespace tidwen::win32 {

// A control that can paint its pending changes at once.
class PacedControl {
 public:
  virtual void PaintNow() = 0;

 protected:
  ~PacedControl() = default;
};

// Controls ask with Request(); at most one round of repaints goes through
// per interval, painting every control that asked since the last one. A
// refused request is not lost: the control keeps its change, painted at the
// next round or when the handler returns.
class RepaintPacer {
 public:
  explicit RepaintPacer(std::chrono::milliseconds interval = std::chrono::milliseconds(33))
      : interval_(interval) {}

  void Request(PacedControl& control);
  void Forget(PacedControl& control);
  // Work after each round while a handler runs: the window lets the system's
  // messages other than input through at the pace of the repaints.
  void SetAfterRound(std::function<void()> work) { afterRound_ = std::move(work); }
  long Rounds() const { return rounds_; }

 private:
  using Clock = std::chrono::steady_clock;
  std::chrono::milliseconds interval_;
  Clock::time_point lastRound_{};
  bool any_ = false;
  std::vector<PacedControl*> waiting_;
  std::function<void()> afterRound_;
  bool inAfterRound_ = false;
  long rounds_ = 0;
};

}  // namespace tidwen::win32

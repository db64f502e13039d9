// Bounds how often the controls of one window repaint while a handler keeps
// the event loop waiting, so that painting never dominates a long scan.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

namespace tidwen {

// A control that can bring its widget up to date and paint it at once.
class PacedControl {
 public:
  virtual void PaintNow() = 0;

 protected:
  ~PacedControl() = default;
};

// Controls ask for a repaint with Request(); the pacer lets at most one
// round of repaints through per interval, and each round paints every control
// that asked since the last round. A request that is refused is not lost: the
// control keeps its change and shows it at the next round, or when control
// returns to the event loop (each control arranges that itself).
class RepaintPacer {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  // Where the pacer reads the time; tests pass a clock they move by hand.
  using Clock = std::function<TimePoint()>;
  static constexpr std::chrono::milliseconds kInterval{33};

  static TimePoint SteadyNow() { return std::chrono::steady_clock::now(); }

  explicit RepaintPacer(std::chrono::milliseconds interval = kInterval, Clock clock = SteadyNow);

  void Request(PacedControl& control);
  // Forgets a control that is going away.
  void Forget(PacedControl& control);

  // Work done after each round let through, while a handler keeps the event
  // loop waiting: the window uses it to let pending events other than the
  // user's input be handled at the pace of the repaints. Empty for none.
  void SetAfterRound(std::function<void()> work) { afterRound_ = std::move(work); }
  // Whether that work is running now. Work a control would otherwise do on
  // the event loop's next turn can wait for the loop proper meanwhile.
  bool InAfterRound() const { return inAfterRound_; }

  // Rounds of repaints let through so far, and the time they took, for
  // measuring.
  long Rounds() const { return rounds_; }
  std::chrono::nanoseconds RoundsTime() const { return roundsTime_; }

 private:
  std::chrono::milliseconds interval_;
  Clock clock_;
  bool anyRound_ = false;
  TimePoint lastRound_{};
  std::vector<PacedControl*> waiting_;
  std::function<void()> afterRound_;
  bool inRound_ = false;
  bool inAfterRound_ = false;
  long rounds_ = 0;
  std::chrono::nanoseconds roundsTime_{0};
};

}  // namespace tidwen

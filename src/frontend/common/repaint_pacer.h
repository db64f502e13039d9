// Bounds how often the controls of one window repaint while a command runs,
// so that painting never dominates a long scan.
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
//
// While a command runs on a worker (Held), the window's event loop runs all
// along, and the rounds come from the command's hand-overs: a request only
// waits, Round() lets a round through at the pacer's rate, and the controls
// leave their changes to the rounds instead of to the event loop's next turn.
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

  // Held: requests wait for Round() or Flush(). Releasing paints nothing.
  void SetHeld(bool held) { held_ = held; }
  bool Held() const { return held_; }
  // A round of every control that asked, unless the last round was less
  // than an interval ago.
  void Round();
  // A round of every control that asked, now.
  void Flush();
  // How long until Round() lets a round through; zero when it would now.
  std::chrono::milliseconds UntilDue() const;
  // Whether a control asked for a repaint that no round has made yet.
  bool Waiting() const { return !waiting_.empty(); }

  // Rounds of repaints let through so far, and the time they took, for
  // measuring.
  long Rounds() const { return rounds_; }
  std::chrono::nanoseconds RoundsTime() const { return roundsTime_; }

 private:
  bool Due() const;
  void PaintRound();

  std::chrono::milliseconds interval_;
  Clock clock_;
  bool anyRound_ = false;
  TimePoint lastRound_{};
  std::vector<PacedControl*> waiting_;
  bool inRound_ = false;
  bool held_ = false;
  long rounds_ = 0;
  std::chrono::nanoseconds roundsTime_{0};
};

}  // namespace tidwen

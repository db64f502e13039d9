// Bounds how often the controls of one window repaint while a handler keeps
// the event loop waiting, so that painting never dominates a long scan.
#pragma once

#include <QElapsedTimer>
#include <chrono>
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
  explicit RepaintPacer(std::chrono::milliseconds interval = std::chrono::milliseconds(33));

  void Request(PacedControl& control);
  // Forgets a control that is going away.
  void Forget(PacedControl& control);

  // Rounds of repaints let through so far, and the time they took, for
  // measuring.
  long Rounds() const { return rounds_; }
  std::chrono::nanoseconds RoundsTime() const { return std::chrono::nanoseconds(roundsNs_); }

 private:
  std::chrono::milliseconds interval_;
  QElapsedTimer sinceLastRound_;
  std::vector<PacedControl*> waiting_;
  long rounds_ = 0;
  qint64 roundsNs_ = 0;
};

}  // namespace tidwen

#include "frontend/common/repaint_pacer.h"

#include <algorithm>
#include <utility>

namespace tidwen {

RepaintPacer::RepaintPacer(std::chrono::milliseconds interval, Clock clock)
    : interval_(interval), clock_(std::move(clock)) {}

void RepaintPacer::Request(PacedControl& control) {
  if (std::find(waiting_.begin(), waiting_.end(), &control) == waiting_.end())
    waiting_.push_back(&control);
  if (!held_) Round();
}

void RepaintPacer::Round() {
  if (Due()) PaintRound();
}

void RepaintPacer::Flush() {
  if (!waiting_.empty()) PaintRound();
}

bool RepaintPacer::Due() const {
  // What painting asks for waits for the next round, however long the round
  // has taken: a round never starts inside another.
  return !waiting_.empty() && !inRound_ && (!anyRound_ || clock_() - lastRound_ >= interval_);
}

std::chrono::milliseconds RepaintPacer::UntilDue() const {
  if (!anyRound_) return std::chrono::milliseconds(0);
  const auto left = interval_ - (clock_() - lastRound_);
  if (left <= left.zero()) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(left);
}

void RepaintPacer::PaintRound() {
  if (inRound_) return;
  anyRound_ = true;
  ++rounds_;
  const TimePoint start = clock_();
  inRound_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } endRound{inRound_};
  // PaintNow may run code that asks again; take the list first.
  std::vector<PacedControl*> round;
  round.swap(waiting_);
  for (PacedControl* c : round) c->PaintNow();
  // The interval counts from the end of the round, so that even slow
  // painting leaves most of the time to the work.
  lastRound_ = clock_();
  roundsTime_ += lastRound_ - start;
}

void RepaintPacer::Forget(PacedControl& control) {
  waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), &control), waiting_.end());
}

}  // namespace tidwen

#include "frontend/common/repaint_pacer.h"

#include <algorithm>

namespace tidwen {

RepaintPacer::RepaintPacer(std::chrono::milliseconds interval) : interval_(interval) {}

void RepaintPacer::Request(PacedControl& control) {
  if (std::find(waiting_.begin(), waiting_.end(), &control) == waiting_.end())
    waiting_.push_back(&control);
  if (anyRound_ && Clock::now() - lastRound_ < interval_) return;
  anyRound_ = true;
  ++rounds_;
  const Clock::time_point start = Clock::now();
  // PaintNow may run code that asks again; take the list first.
  std::vector<PacedControl*> round;
  round.swap(waiting_);
  for (PacedControl* c : round) c->PaintNow();
  // The work may itself ask for a repaint; that waits for the next round.
  if (afterRound_ && !inAfterRound_) {
    inAfterRound_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{inAfterRound_};
    afterRound_();
  }
  // The interval counts from the end of the round, so that even slow
  // painting leaves most of the time to the work.
  lastRound_ = Clock::now();
  roundsTime_ += lastRound_ - start;
}

void RepaintPacer::Forget(PacedControl& control) {
  waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), &control), waiting_.end());
}

}  // namespace tidwen

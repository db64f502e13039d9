#include "win32/repaint_pacer.h"

#include <algorithm>

namespace tidwen::win32 {

void RepaintPacer::Request(PacedControl& control) {
  if (std::find(waiting_.begin(), waiting_.end(), &control) == waiting_.end())
    waiting_.push_back(&control);
  if (any_ && Clock::now() - lastRound_ < interval_) return;
  any_ = true;
  ++rounds_;
  std::vector<PacedControl*> round;
  round.swap(waiting_);
  for (PacedControl* c : round) c->PaintNow();
  if (afterRound_ && !inAfterRound_) {
    inAfterRound_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{inAfterRound_};
    afterRound_();
  }
  // Counted from the end of the round, so slow painting still leaves most
  // of the time to the work.
  lastRound_ = Clock::now();
}

void RepaintPacer::Forget(PacedControl& control) {
  waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), &control), waiting_.end());
}

}  // namespace tidwen::win32

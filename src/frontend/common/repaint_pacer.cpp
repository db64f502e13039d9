#include "frontend/common/repaint_pacer.h"

#include <algorithm>
#include <utility>

namespace tidwen {

RepaintPacer::RepaintPacer(std::chrono::milliseconds interval, Clock clock)
    : interval_(interval), clock_(std::move(clock)) {}

void RepaintPacer::Request(PacedControl& control) {
  if (std::find(waiting_.begin(), waiting_.end(), &control) == waiting_.end())
    waiting_.push_back(&control);
  // What painting or the work after a round asks for waits for the next
  // round, however long the round has taken: a round never starts inside
  // another.
  if (inRound_ || (anyRound_ && clock_() - lastRound_ < interval_)) return;
  anyRound_ = true;
  ++rounds_;
  const TimePoint start = clock_();
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  };
  inRound_ = true;
  Reset endRound{inRound_};
  // PaintNow may run code that asks again; take the list first.
  std::vector<PacedControl*> round;
  round.swap(waiting_);
  for (PacedControl* c : round) c->PaintNow();
  if (afterRound_) {
    inAfterRound_ = true;
    Reset endWork{inAfterRound_};
    afterRound_();
  }
  // The interval counts from the end of the round, so that even slow
  // painting leaves most of the time to the work.
  lastRound_ = clock_();
  roundsTime_ += lastRound_ - start;
}

void RepaintPacer::Forget(PacedControl& control) {
  waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), &control), waiting_.end());
}

}  // namespace tidwen

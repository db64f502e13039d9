// A steady clock that moves only when a test moves it, for code that takes
// its clock through its constructor.
#pragma once

#include <chrono>

namespace tidwen::test {

class FakeClock {
 public:
  std::chrono::steady_clock::time_point Now() const { return now_; }
  // A callable that reads this clock; the clock must outlive it.
  auto Reader() const {
    return [this] { return now_; };
  }
  void Advance(std::chrono::steady_clock::duration by) { now_ += by; }

 private:
  // Well past the clock's epoch, as a real steady clock is.
  std::chrono::steady_clock::time_point now_{std::chrono::hours(1000)};
};

}  // namespace tidwen::test

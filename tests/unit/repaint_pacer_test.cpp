// The repaint pacer on a clock the test moves: which requests paint at once,
// which wait for the next round, and what each round takes along.
#include "frontend/common/repaint_pacer.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/fake_clock.h"

namespace tidwen {
namespace {

using std::chrono::milliseconds;
using test::FakeClock;

class CountingControl : public PacedControl {
 public:
  void PaintNow() override {
    ++paints;
    if (onPaint) onPaint();
  }
  int paints = 0;
  std::function<void()> onPaint;
};

struct Step {
  int atMs;     // since the first step
  char action;  // 'a' or 'b': that control asks; 'A' or 'B': it is forgotten
  int aPaints;  // paints of each control after the step
  int bPaints;
};

struct PacingCase {
  const char* name;
  std::vector<Step> steps;
};

TEST(RepaintPacerTest, LetsOneRoundThroughPerInterval) {
  const PacingCase cases[] = {
      {"the first request paints at once, later ones once the interval is past",
       {{0, 'a', 1, 0}, {10, 'a', 1, 0}, {32, 'a', 1, 0}, {33, 'a', 2, 0}, {100, 'a', 3, 0}}},
      {"a refused request shows in the next round, whoever opens it",
       {{0, 'a', 1, 0}, {5, 'b', 1, 0}, {40, 'a', 2, 1}, {41, 'b', 2, 1}, {80, 'a', 3, 2}}},
      {"asking twice while waiting paints once",
       {{0, 'a', 1, 0}, {1, 'b', 1, 0}, {2, 'b', 1, 0}, {50, 'a', 2, 1}}},
      {"a forgotten control is not painted",
       {{0, 'a', 1, 0}, {5, 'b', 1, 0}, {6, 'B', 1, 0}, {40, 'a', 2, 0}}},
  };
  for (const PacingCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    const auto start = clock.Now();
    RepaintPacer pacer(milliseconds(33), clock.Reader());
    CountingControl a, b;
    int rounds = 0;
    for (const Step& step : c.steps) {
      clock.Advance(start + milliseconds(step.atMs) - clock.Now());
      CountingControl& control = step.action == 'a' || step.action == 'A' ? a : b;
      if (step.action == 'a' || step.action == 'b') {
        pacer.Request(control);
      } else {
        pacer.Forget(control);
      }
      rounds = std::max(rounds, std::max(a.paints, b.paints));
      EXPECT_EQ(a.paints, step.aPaints) << "at " << step.atMs << " ms";
      EXPECT_EQ(b.paints, step.bPaints) << "at " << step.atMs << " ms";
    }
    EXPECT_EQ(pacer.Rounds(), rounds);
  }
}

// Slow painting must not eat the work's time: the interval counts from the
// end of a round, and the pacer measures what the rounds took.
TEST(RepaintPacerTest, TheIntervalCountsFromTheEndOfARound) {
  FakeClock clock;
  RepaintPacer pacer(milliseconds(33), clock.Reader());
  CountingControl slow;
  slow.onPaint = [&] { clock.Advance(milliseconds(20)); };
  pacer.Request(slow);  // painted from 0 to 20 ms
  clock.Advance(milliseconds(20));
  pacer.Request(slow);  // 40 ms after the start, 20 after the end: waits
  EXPECT_EQ(slow.paints, 1);
  clock.Advance(milliseconds(13));
  pacer.Request(slow);
  EXPECT_EQ(slow.paints, 2);
  EXPECT_EQ(pacer.Rounds(), 2);
  EXPECT_EQ(pacer.RoundsTime(), milliseconds(40));
}

// A round never starts inside another: what painting asks for waits for
// the next round, however long the round took.
TEST(RepaintPacerTest, WhatARoundAsksForWaitsForTheNextRound) {
  FakeClock clock;
  RepaintPacer pacer(milliseconds(33), clock.Reader());
  CountingControl first, second;
  first.onPaint = [&] {
    clock.Advance(milliseconds(50));
    pacer.Request(second);
  };
  pacer.Request(first);
  EXPECT_EQ(first.paints, 1);
  EXPECT_EQ(second.paints, 0);
  EXPECT_EQ(pacer.Rounds(), 1);
  clock.Advance(milliseconds(33));
  pacer.Request(first);
  EXPECT_EQ(first.paints, 2);
  EXPECT_EQ(second.paints, 1);
}

// Held, as while a command runs on a worker: requests only wait; Round()
// lets them through at the pacer's rate, Flush() at once.
TEST(RepaintPacerTest, HeldRequestsWaitForARound) {
  FakeClock clock;
  RepaintPacer pacer(milliseconds(33), clock.Reader());
  CountingControl a, b;
  EXPECT_EQ(pacer.UntilDue(), milliseconds(0));
  pacer.SetHeld(true);
  pacer.Request(a);
  pacer.Request(b);
  EXPECT_EQ(a.paints + b.paints, 0);
  pacer.Round();
  EXPECT_EQ(a.paints + b.paints, 2);
  clock.Advance(milliseconds(10));
  EXPECT_EQ(pacer.UntilDue(), milliseconds(23));
  pacer.Request(a);
  pacer.Round();
  EXPECT_EQ(a.paints, 1);
  pacer.Flush();
  EXPECT_EQ(a.paints, 2);
  pacer.Flush();  // nothing waits
  EXPECT_EQ(pacer.Rounds(), 2);
  pacer.SetHeld(false);
  clock.Advance(milliseconds(40));
  EXPECT_EQ(pacer.UntilDue(), milliseconds(0));
  pacer.Request(b);
  EXPECT_EQ(b.paints, 2);
}

}  // namespace
}  // namespace tidwen

// The running of a command on a worker, with a real worker thread and the
// test's thread as the window's: what the worker queues is shown there in
// order, a stream of updates wakes the window once a round, an update to
// wait for lets the worker go on only once shown, and failures on either
// side come back to the caller. Then the busy policy's decisions.
#include "frontend/common/command_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "frontend/common/busy_policy.h"
#include "model/runtime_error.h"
#include "support/fake_clock.h"
#include "support/latch.h"
#include "support/test_window_loop.h"

namespace tidwen::test {
namespace {

using frontend::CommandFeed;
using frontend::CommandRunner;
using frontend::CommandWorker;
using std::chrono::milliseconds;

// Numbers queued on the worker and shown on the window's thread, with the
// window's thread checked at each step.
class NumberFeed : public CommandFeed, public PacedControl {
 public:
  NumberFeed(TestWindowLoop& loop, RepaintPacer& pacer) : loop_(loop), pacer_(pacer) {}
  void Queue(int n) { queued_.push_back(n); }  // the runner's lock held
  bool Take() override {
    EXPECT_EQ(std::this_thread::get_id(), loop_.windowThread);
    ++takes;
    taken_.clear();
    if (queued_.empty()) return false;
    std::swap(queued_, taken_);
    return true;
  }
  void Apply() override {
    EXPECT_EQ(std::this_thread::get_id(), loop_.windowThread);
    for (int n : taken_) {
      if (onShow) onShow(n);
      shown.push_back(n);
      shownCount.store(shown.size());
    }
    pacer_.Request(*this);
  }
  void PaintNow() override {
    ++paints;
    if (onPaint) onPaint();
  }

  std::vector<int> shown;
  std::atomic<std::size_t> shownCount{0};
  std::function<void(int)> onShow;  // on the window's thread, as each is shown
  std::function<void()> onPaint;    // on the window's thread, after each paint
  int paints = 0;
  int takes = 0;

 private:
  TestWindowLoop& loop_;
  RepaintPacer& pacer_;
  std::vector<int> queued_, taken_;
};

class CommandRunnerTest : public ::testing::Test {
 protected:
  CommandRunnerTest() { loop.runner = &runner; }
  FakeClock clock;
  RepaintPacer pacer{RepaintPacer::kInterval, clock.Reader()};
  TestWindowLoop loop;
  CommandRunner runner{loop, pacer};
  NumberFeed feed{loop, pacer};
};

// A hundred updates while the window is busy elsewhere wake it once; the
// one the worker waits for wakes it at once and comes back shown, all in
// order; the last drain ends the loop.
TEST_F(CommandRunnerTest, AStreamWakesTheWindowOnceAndAWaitEndsShown) {
  // The window's first drain waits until the stream is queued.
  std::promise<void> streamed;
  loop.beforeDrain = [&, first = true, ready = streamed.get_future().share()]() mutable {
    if (std::exchange(first, false)) ready.wait();
  };
  std::thread::id workThread;
  std::size_t shownAfterWait = 0;
  runner.Run(feed, [&](CommandWorker& worker) {
    workThread = std::this_thread::get_id();
    for (int n = 0; n < 100; ++n) worker.Queue([&] { feed.Queue(n); });
    streamed.set_value();
    worker.QueueAndWait([&] { feed.Queue(100); });
    shownAfterWait = feed.shownCount.load();
  });
  EXPECT_NE(workThread, loop.windowThread);
  EXPECT_EQ(shownAfterWait, 101u);
  ASSERT_EQ(feed.shown.size(), 101u);
  for (int n = 0; n <= 100; ++n) EXPECT_EQ(feed.shown[static_cast<std::size_t>(n)], n);
  // The stream, the wait, the end.
  EXPECT_EQ(loop.Wakes(), 3);
  EXPECT_FALSE(pacer.Held());
}

// After a drain that showed something the next comes at the pacer's next
// round; the rounds paint what the drains showed, once each, and the end
// of the command paints what the last drain left waiting.
TEST_F(CommandRunnerTest, DrainsFollowThePacersRounds) {
  feed.onShow = [&](int) { clock.Advance(milliseconds(10)); };
  runner.Run(feed, [&](CommandWorker& worker) {
    worker.QueueAndWait([&] { feed.Queue(1); });  // the first round
    worker.QueueAndWait([&] { feed.Queue(2); });  // 10 ms after it: waits
  });
  EXPECT_EQ(feed.shown, (std::vector<int>{1, 2}));
  // A drain 33 ms after the first round, then 23 ms after the second drain;
  // the clock stands still after it, so any drain until the work's end
  // comes 23 ms later again.
  ASSERT_GE(loop.delays.size(), 2u);
  EXPECT_EQ(loop.delays.front(), milliseconds(33));
  for (std::size_t i = 1; i < loop.delays.size(); ++i) EXPECT_EQ(loop.delays[i], milliseconds(23));
  EXPECT_EQ(feed.paints, 2);
  EXPECT_EQ(pacer.Rounds(), 2);
}

// A repaint the pacer put off is made at a later round while the worker is
// held up (a slow directory) and hands over nothing: the window does not
// wait for the next hand-over to show the last.
TEST_F(CommandRunnerTest, ARepaintPutOffIsMadeWhileTheWorkerHandsOverNothing) {
  // The first drain shows 1 and paints; the second, 10 ms later, shows 2
  // once it is queued, and the pacer puts its repaint off; every later
  // drain comes a round later.
  Latch queued2, painted;
  loop.beforeDrain = [&, drains = 0]() mutable {
    ++drains;
    if (drains == 2) queued2.Wait();
    if (drains >= 2) clock.Advance(milliseconds(drains == 2 ? 10 : 33));
  };
  feed.onPaint = [&] {
    if (feed.paints == 2) painted.Open();
  };
  bool paintedWhileHeld = false;
  runner.Run(feed, [&](CommandWorker& worker) {
    worker.QueueAndWait([&] { feed.Queue(1); });
    worker.QueueAndWait([&] {
      feed.Queue(2);
      queued2.Open();
    });
    // Held up: nothing more comes until the window has painted 2.
    paintedWhileHeld = painted.Wait();
  });
  EXPECT_TRUE(paintedWhileHeld);
  EXPECT_EQ(feed.paints, 2);
}

// A box shown while an update is applied runs the window's loop; a wake
// that comes meanwhile takes nothing, and the worker waiting for the box
// goes on only once it is answered.
TEST_F(CommandRunnerTest, ADrainInsideABoxWaitsForTheBox) {
  std::vector<std::string> log;
  std::atomic<bool> boxOpen = false;
  feed.onShow = [&](int n) {
    log.push_back("show " + std::to_string(n));
    if (n != 1) return;
    boxOpen = true;
    const int takes = feed.takes;
    runner.Drain();  // the box's own loop, woken meanwhile
    EXPECT_EQ(feed.takes, takes);
    boxOpen = false;
    log.push_back("box answered");
  };
  bool passedWhileOpen = true;
  runner.Run(feed, [&](CommandWorker& worker) {
    worker.QueueAndWait([&] { feed.Queue(1); });
    passedWhileOpen = boxOpen;
    worker.Queue([&] { feed.Queue(2); });
  });
  EXPECT_FALSE(passedWhileOpen);
  EXPECT_EQ(log, (std::vector<std::string>{"show 1", "box answered", "show 2"}));
}

// What the work throws comes back to the caller once what it queued before
// is shown; what showing throws stops the work, which is waiting for it,
// and comes back instead.
TEST_F(CommandRunnerTest, FailuresOnEitherSideComeBackToTheCaller) {
  EXPECT_THROW(runner.Run(feed,
                          [&](CommandWorker& worker) {
                            worker.Queue([&] { feed.Queue(7); });
                            throw RuntimeError(kFileNotFound, "gone");
                          }),
               RuntimeError);
  EXPECT_EQ(feed.shown, std::vector<int>{7});

  feed.onShow = [](int n) {
    if (n == 8) throw std::runtime_error("no room");
  };
  bool stopAsked = false;
  EXPECT_THROW(runner.Run(feed,
                          [&](CommandWorker& worker) {
                            worker.QueueAndWait([&] { feed.Queue(8); });
                            stopAsked = worker.Stop().Requested();
                            worker.Queue([&] { feed.Queue(9); });
                          }),
               std::runtime_error);
  EXPECT_TRUE(stopAsked);
  EXPECT_EQ(feed.shown, std::vector<int>{7});

  // The runner is ready for the next command.
  feed.onShow = nullptr;
  runner.Run(feed, [&](CommandWorker& worker) { worker.Queue([&] { feed.Queue(10); }); });
  EXPECT_EQ(feed.shown, (std::vector<int>{7, 10}));
}

TEST(BusyPolicyTest, DropsInputAndHoldsClosesOnlyWhileBusy) {
  using frontend::BusyPolicy;
  using frontend::InputKind;
  using frontend::Verdict;
  using frontend::WindowRole;
  struct Case {
    InputKind kind;
    WindowRole window;
    Verdict idle, busy;
  };
  const Case cases[] = {
      {InputKind::kPress, WindowRole::kMain, Verdict::kPass, Verdict::kDrop},
      {InputKind::kKey, WindowRole::kAbout, Verdict::kPass, Verdict::kDrop},
      {InputKind::kPointer, WindowRole::kMain, Verdict::kPass, Verdict::kDrop},
      {InputKind::kHelp, WindowRole::kMain, Verdict::kPass, Verdict::kDrop},
      {InputKind::kCloseGesture, WindowRole::kAbout, Verdict::kPass, Verdict::kHoldClose},
      // A box the command shows takes its answer.
      {InputKind::kPress, WindowRole::kOther, Verdict::kPass, Verdict::kPass},
      {InputKind::kKey, WindowRole::kOther, Verdict::kPass, Verdict::kPass},
  };
  BusyPolicy policy;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind) * 10 + static_cast<int>(c.window));
    EXPECT_EQ(policy.OnInput(c.kind, c.window), c.idle);
    ASSERT_TRUE(policy.Begin());
    EXPECT_EQ(policy.OnInput(c.kind, c.window), c.busy);
    policy.End();
  }

  // Closes: carried out at once when idle; held, each window once in the
  // order asked, while busy; a box closes as usual. No command starts
  // inside another.
  EXPECT_EQ(policy.OnClose(WindowRole::kMain), Verdict::kPass);
  ASSERT_TRUE(policy.Begin());
  EXPECT_FALSE(policy.Begin());
  EXPECT_TRUE(policy.Busy());
  EXPECT_EQ(policy.OnClose(WindowRole::kAbout), Verdict::kHoldClose);
  EXPECT_EQ(policy.OnInput(InputKind::kCloseGesture, WindowRole::kMain), Verdict::kHoldClose);
  EXPECT_EQ(policy.OnClose(WindowRole::kAbout), Verdict::kHoldClose);
  EXPECT_EQ(policy.OnClose(WindowRole::kOther), Verdict::kPass);
  EXPECT_EQ(policy.End(), (std::vector<WindowRole>{WindowRole::kAbout, WindowRole::kMain}));
  EXPECT_FALSE(policy.Busy());
  ASSERT_TRUE(policy.Begin());
  EXPECT_TRUE(policy.End().empty());
}

}  // namespace
}  // namespace tidwen::test

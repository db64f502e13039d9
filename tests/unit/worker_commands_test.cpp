// The scan and the delete command with their long part on a real worker: a
// contract run both ways, on one thread and on a worker, that must show the
// same (results, queue, status line, boxes in order, files deleted), with
// every control and box touched on the window's thread alone and every
// deletion after a failure waiting for its box.
#include "frontend/common/worker_commands.h"

#include <gtest/gtest.h>

#include <new>
#include <thread>

#include "clean/cleaner.h"
#include "frontend/common/form1_commands.h"
#include "memory_platform.h"
#include "model/runtime_error.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"
#include "support/fake_clock.h"
#include "support/test_window_loop.h"

namespace tidwen::test {
namespace {

const std::thread::id kWindowThread = std::this_thread::get_id();

void ExpectWindowThread(const char* what) {
  EXPECT_EQ(std::this_thread::get_id(), kWindowThread) << what << " off the window's thread";
}

class WindowList : public RecordingList {
 public:
  void AddPath(const ArenaPath& path, const FileStamp& stamp) override {
    ExpectWindowThread("List1.AddPath");
    RecordingList::AddPath(path, stamp);
  }
  void RemoveItem(std::int64_t i) override {
    ExpectWindowThread("List1.RemoveItem");
    RecordingList::RemoveItem(i);
  }
  void Refresh() override {
    ExpectWindowThread("List1.Refresh");
    RecordingList::Refresh();
  }
};

class WindowLabel : public RecordingLabel {
 public:
  void SetCaption(std::string_view caption) override {
    ExpectWindowThread("Label1.SetCaption");
    RecordingLabel::SetCaption(caption);
  }
};

// Records each box with how many files were deleted when it showed.
class WindowBox : public ScriptedMessageBox {
 public:
  explicit WindowBox(const MemoryFileSystem& fs) : fs_(fs) {}
  int MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
             std::string_view title) override {
    ExpectWindowThread("a box");
    seen.push_back(std::string(text) + " after " + std::to_string(fs_.deleted.size()));
    return ScriptedMessageBox::MsgBox(text, buttons, icon, title);
  }
  std::vector<std::string> seen;

 private:
  const MemoryFileSystem& fs_;
};

// A window over a memory drive whose commands run on one thread or on a
// worker, and what it showed.
struct Window {
  explicit Window(bool worker) : onWorker(worker) {
    loop.runner = &runner;
    Form_Load(context);
  }
  void Scan() {
    if (!onWorker) return Command1_Click(context);
    frontend::Command1_Click(context, {p.Dir1, p.File1, p.FileLength, p.FileSystem}, runner);
  }
  void Delete() {
    box.answers = {kMsgBoxYes};
    if (!onWorker) return Command2_Click(context);
    frontend::Command2_Click(context, runner);
  }
  // Everything the window shows, and what was done to the drive.
  std::string Shown() const {
    std::string out;
    for (const auto& text : list1.Texts()) out += text + " ";
    out += "| queue ";
    for (const auto& text : p.List3.Texts()) out += text + " ";
    out += "| " + label1.Caption() + " | boxes ";
    for (const auto& text : box.seen) out += text + ", ";
    out += "| deleted ";
    for (const auto& path : p.FileSystem.deleted) out += path + " ";
    return out + "| at " + p.Dir1.Path() + " " + p.File1.Path() + " " + context.CurrentPath;
  }

  bool onWorker;
  MemoryPlatform p;
  WindowList list1;
  WindowLabel label1;
  WindowBox box{p.FileSystem};
  Form1Context context = MakeForm1Context({list1, p.List2, p.List3, label1, p.Drive1},
                                          {p.Dir1, p.File1, p.FileLength, p.FileSystem}, box);
  FakeClock clock;
  RepaintPacer pacer{RepaintPacer::kInterval, clock.Reader()};
  TestWindowLoop loop;
  frontend::CommandRunner runner{loop, pacer};
};

struct Case {
  const char* name;
  std::function<void(MemoryTree&)> make;
  std::function<void(Window&)> run;
};

TEST(WorkerCommandsTest, ShowWhatTheCommandsShowOnOneThread) {
  const auto tree = [](MemoryTree& t) {
    t.AddFile("c:\\a.tmp");
    t.AddFile("c:\\a.$$$");  // two types: listed twice, deleted once
    t.AddFile("c:\\d\\b.bak");
    t.AddFile("c:\\d\\ro.old", 1, /*readOnly=*/true);
    t.AddFile("c:\\d\\e\\c.old");
    t.AddFile("c:\\d\\e\\gone.tmp");
    t.AddFile("c:\\f\\plain.txt");
    t.AddFile("c:\\f\\z.tmp", 0);
  };
  const Case cases[] = {
      {"a scan", tree, [](Window& w) { w.Scan(); }},
      {"a scan out of descriptors",
       [&](MemoryTree& t) {
         tree(t);
         t.FailListing("c:\\f", kTooManyFiles);
       },
       [](Window& w) { w.Scan(); }},
      {"a repeat scan", tree,
       [](Window& w) {
         w.Scan();
         w.Scan();
       }},
      {"a scan, select all and delete: refused, gone, twins", tree,
       [](Window& w) {
         w.Scan();
         w.p.tree.RemoveFile("c:\\d\\e\\gone.tmp");
         Command5_Click(w.context);
         w.list1.SetSelected(0, false);  // c:\a.$$$ under one type only
         w.Delete();
       }},
      {"a deletion out of descriptors",
       [&](MemoryTree& t) {
         tree(t);
         t.FailDelete("c:\\d\\b.bak", kTooManyFiles);
       },
       [](Window& w) {
         w.Scan();
         Command5_Click(w.context);
         w.Delete();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window alone(false), worker(true);
    for (Window* w : {&alone, &worker}) {
      c.make(w->p.tree);
      c.run(*w);
    }
    EXPECT_EQ(worker.Shown(), alone.Shown());
    EXPECT_TRUE(worker.box.answers.empty());
  }
}

// What the walk throws (out of memory) is shown as it is on one thread,
// after the hits found until then.
TEST(WorkerCommandsTest, AFailureOfTheWalkComesBackToTheWindow) {
  Window w(true);
  w.p.tree.AddFile("c:\\a.tmp");
  w.p.tree.AddFile("c:\\d\\b.tmp");
  struct Throwing : MemoryFileLength {
    using MemoryFileLength::MemoryFileLength;
    std::int64_t FileLen(std::string_view path) override {
      if (path == "c:\\d\\b.tmp") throw std::bad_alloc();
      return MemoryFileLength::FileLen(path);
    }
  } lengths{w.p.tree};
  EXPECT_THROW(frontend::Command1_Click(w.context, {w.p.Dir1, w.p.File1, lengths, w.p.FileSystem},
                                        w.runner),
               std::bad_alloc);
  EXPECT_EQ(w.list1.Texts(), std::vector<std::string>{"c:\\a.tmp"});
}

}  // namespace
}  // namespace tidwen::test

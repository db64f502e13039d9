#include "scan/drive_walk.h"

#include <memory>
#include <string>

#include "engine/walk.h"
#include "model/runtime_error.h"
#include "rules/junk_rules.h"

namespace tidwen {

namespace {

// Shows the walk in the window as it goes, on the walking thread: each
// file below the drive's root in Label1 before its test, each hit in List1
// as it is found, each followed by its repaint.
class WindowSink : public WalkSink {
 public:
  WindowSink(Form1Context& form, std::shared_ptr<const PathArena> arena)
      : form_(form), arena_(std::move(arena)) {}

  void Hits(std::span<const Hit> hits) override {
    for (const Hit& hit : hits) {
      form_.List1.AddPath({arena_, hit.dir, hit.name}, hit.stamp);
      form_.List1.Refresh();
    }
  }
  void Testing(const WalkProgress& progress) override {
    if (progress.inStart) return;
    form_.Label1.SetCaption(progress.file);
    form_.Label1.Refresh();
  }

 private:
  Form1Context& form_;
  std::shared_ptr<const PathArena> arena_;
};

}  // namespace

void Command1_Click(Form1Context& form) {
  Command1_Click(form, [&form](const std::shared_ptr<PathArena>& arena, std::string_view root,
                               JunkTypes chosen) {
    WindowSink sink(form, arena);
    return WalkDrive({form.Dir1, form.File1, form.FileLength}, *arena, root, chosen, sink, nullptr,
                     {.batch = 1});
  });
}

void Command1_Click(Form1Context& form, const ScanWalk& walk) {
  form.Dir1.SetVisible(false);
  form.Drive1.SetVisible(false);
  form.File1.SetVisible(false);
  form.List2.SetVisible(false);
  form.List1.SetVisible(true);
  form.List3.SetVisible(false);

  const std::string root = form.Drive1.Drive().substr(0, 2) + "\\";
  // Each scan queues into an arena of its own and walks only what it
  // queues: walking the earlier scans' directories again would visit every
  // directory once more per earlier scan.
  auto arena = std::make_shared<PathArena>();
  const WalkResult walked = walk(arena, root, ChosenTypes(form.List2));
  // List3 shows the queue, behind the earlier scans' directories.
  for (std::size_t dir = walked.start + std::size_t{1}; dir < walked.end; ++dir) {
    form.List3.AddPath({arena, static_cast<PathArena::Index>(dir), {}}, {});
  }
  if (walked.outOfDescriptors) {
    // One box says why the scan stopped; what it found so far stays.
    form.MessageBox.MsgBox("发生错误" + std::to_string(kTooManyFiles), MsgBoxButtons::kOkOnly,
                           MsgBoxIcon::kNone, {});
  }

  form.Label1.SetCaption("共找到 " + std::to_string(form.List1.ListCount()) + "个垃圾文件");
}

}  // namespace tidwen

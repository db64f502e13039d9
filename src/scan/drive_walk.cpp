#include "scan/drive_walk.h"

#include <string>

#include "model/runtime_error.h"
#include "rules/junk_rules.h"

namespace tidwen {

namespace {

// Thrown out of a walk that has run out of descriptors: every directory
// after this one would fail as well, and a scan that skipped them silently
// would look like a clean drive.
struct OutOfDescriptors {};

// What one step of the walk does with a failure: one that the system's
// shortage of descriptors caused ends the walk, any other is skipped.
void SkipUnlessOutOfDescriptors(const RuntimeError& error) {
  if (error.Number() == kTooManyFiles) throw OutOfDescriptors{};
}

// Opens one directory in both listers. False, with nothing else changed, when
// it cannot be listed (gone, refused, drive not ready): the walk skips it.
bool OpenDirectory(Form1Context& form, std::string_view path) {
  try {
    form.Dir1.SetPath(path);
    form.File1.SetPath(form.Dir1.Path());
    return true;
  } catch (const RuntimeError& error) {
    SkipUnlessOutOfDescriptors(error);
    return false;
  }
}

// Runs the file test on CurrentPath. A file that vanished or cannot be
// measured is skipped; the entries already added for it stay.
void TestCurrentFile(Form1Context& form) {
  try {
    Printt(form);
  } catch (const RuntimeError& error) {
    SkipUnlessOutOfDescriptors(error);
  }
}

void QueueSubdirectories(Form1Context& form) {
  const std::int64_t count = form.Dir1.ListCount();
  for (std::int64_t i = 0; i < count; ++i) form.List3.AddItem(form.Dir1.List(i));
}

// The root's files, then every directory queued from queueStart on.
void Walk(Form1Context& form, const std::string& root, std::int64_t queueStart) {
  if (OpenDirectory(form, root)) {
    // The root's path already ends in "\", so names follow it directly.
    const std::string rootPath = form.Dir1.Path();
    const std::int64_t fileCount = form.File1.ListCount();
    for (std::int64_t i = 0; i < fileCount; ++i) {
      form.CurrentPath.assign(rootPath).append(form.File1.List(i));
      TestCurrentFile(form);
    }
    QueueSubdirectories(form);

    for (std::int64_t position = queueStart; position < form.List3.ListCount(); ++position) {
      if (!OpenDirectory(form, form.List3.List(position))) continue;
      // Subdirectories are queued before the directory's files are tested.
      QueueSubdirectories(form);
      const std::string dirPath = form.Dir1.Path() + "\\";
      const std::int64_t count = form.File1.ListCount();
      for (std::int64_t i = 0; i < count; ++i) {
        // The path is built once and serves both the caption and the test.
        form.CurrentPath.assign(dirPath).append(form.File1.List(i));
        form.Label1.SetCaption(form.CurrentPath);
        form.Label1.Refresh();
        TestCurrentFile(form);
      }
    }
  }
}

}  // namespace

void Command1_Click(Form1Context& form) {
  form.Dir1.SetVisible(false);
  form.Drive1.SetVisible(false);
  form.File1.SetVisible(false);
  form.List2.SetVisible(false);
  form.List1.SetVisible(true);
  form.List3.SetVisible(false);

  const std::string root = form.Drive1.Drive().substr(0, 2) + "\\";
  // Only the directories this scan queues are walked. Entries left by an
  // earlier scan stay in the queue, but walking them again would visit every
  // directory once more per earlier scan and multiply deep directories.
  const std::int64_t queueStart = form.List3.ListCount();

  try {
    Walk(form, root, queueStart);
  } catch (const OutOfDescriptors&) {
    // One box says why the scan stopped; what it found so far stays.
    form.MessageBox.MsgBox("发生错误" + std::to_string(kTooManyFiles), MsgBoxButtons::kOkOnly,
                           MsgBoxIcon::kNone, {});
  }

  form.Label1.SetCaption("共找到 " + std::to_string(form.List1.ListCount()) + "个垃圾文件");
}

}  // namespace tidwen

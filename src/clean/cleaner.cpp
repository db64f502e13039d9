#include "clean/cleaner.h"

#include <string>

#include "model/runtime_error.h"

namespace tidwen {

namespace {

// What the window says of a file it could not delete, in a text-only box:
// OK alone, no icon, the application's title.
void ShowFailure(Form1Context& form, std::string_view path, int number) {
  const std::string text = number == kPermissionDenied ? "不能删除文件" + std::string(path)
                                                       : "发生错误" + std::to_string(number);
  form.MessageBox.MsgBox(text, MsgBoxButtons::kOkOnly, MsgBoxIcon::kNone, {});
}

}  // namespace

CheckedEntries::CheckedEntries(const ListControl& list) {
  for (std::int64_t i = list.ListCount() - 1; i >= 0; --i) {
    if (!list.Selected(i)) continue;
    list.CopyEntry(i, copies_);
    indices_.push_back(i);
  }
}

void WindowDeletion::Take(std::int64_t i, std::string_view path, const FileStamp& stamp,
                          const DeletionOutcome& outcome) {
  form_.CurrentPath.assign(path);
  form_.CurrentStamp = stamp;
  if (outcome.Failed()) {
    ShowFailure(form_, form_.CurrentPath, outcome.number);
    return;
  }
  // From the last entry to the first: removing this one moves only entries
  // already dealt with.
  form_.List1.RemoveItem(entries_.Entry(i));
}

void Manip_Files(Form1Context& form) {
  const DeletionOutcome outcome = DeleteFile(form.FileSystem, form.CurrentPath, form.CurrentStamp);
  if (!outcome.Failed()) {
    form.DeleteOutcome = 1;
    return;
  }
  form.DeleteOutcome = 0;
  form.FileSystem.ReleaseKept();
  ShowFailure(form, form.CurrentPath, outcome.number);
}

void Command2_Click(Form1Context& form) {
  Command2_Click(form, [&form](const CheckedEntries& checked, WindowDeletion& window,
                               DeletedFiles& deleted) {
    DeleteFiles(form.FileSystem, checked, deleted, window);
  });
}

void Command2_Click(Form1Context& form, const DeletionRun& run) {
  const CheckedEntries checked(form.List1);
  if (checked.Count() == 0) {
    form.MessageBox.MsgBox("请选择删除项目!", MsgBoxButtons::kOkOnly, MsgBoxIcon::kNone, {});
    return;
  }

  const int answer =
      form.MessageBox.MsgBox("确实要删除这" + std::to_string(checked.Count()) + "项吗？",
                             MsgBoxButtons::kYesNo, MsgBoxIcon::kExclamation, "三思而后行");
  if (answer == kMsgBoxYes) {
    DeletedFiles deleted;
    WindowDeletion window(form, checked);
    run(checked, window, deleted);
    // Every entry of a deleted file leaves with it, checked or not: one left
    // behind would name a file that is gone.
    if (!deleted.Empty()) {
      for (std::int64_t i = form.List1.ListCount() - 1; i >= 0; --i) {
        if (!form.List1.Selected(i) && deleted.Contains(form.List1.List(i), form.List1.Stamp(i))) {
          form.List1.RemoveItem(i);
        }
      }
    }
  }

  form.Label1.SetCaption("还剩下 " + std::to_string(form.List1.ListCount()) + "个垃圾文件");
}

}  // namespace tidwen

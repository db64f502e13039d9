#include "clean/cleaner.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/runtime_error.h"

namespace tidwen {

namespace {

// Shows a text-only box: OK alone, no icon, the application's title.
void ShowFailure(Form1Context& form, const std::string& text) {
  form.FileSystem.ReleaseKept();
  form.MessageBox.MsgBox(text, MsgBoxButtons::kOkOnly, MsgBoxIcon::kNone, {});
}

// The files a batch has deleted, by path and the stamp each was found as.
// Another entry of one of them (a file of two junk types, or listed again by
// a repeat scan) names a file that is gone because the user deleted it: it
// leaves the list with it, instead of failing as a file not found.
class DeletedFiles {
 public:
  void Add(std::string_view path, const FileStamp& stamp) {
    byPath_[std::string(path)].push_back(stamp);
  }
  // Whether the entry's file is one the batch deleted. An entry without a
  // known stamp goes by its path alone; with one, the stamp must match, so
  // that an entry of another file once at that path is still tried.
  bool Contains(std::string_view path, const FileStamp& stamp) const {
    const auto found = byPath_.find(std::string(path));
    if (found == byPath_.end()) return false;
    for (const FileStamp& deleted : found->second) {
      if (!stamp.known || !deleted.known || deleted == stamp) return true;
    }
    return false;
  }

 private:
  std::unordered_map<std::string, std::vector<FileStamp>> byPath_;
};

}  // namespace

void Manip_Files(Form1Context& form) {
  int number = 0;
  try {
    // The file object is released before the file-system object, on every
    // way out, by the order of destruction.
    std::unique_ptr<FileSystemObject> fso = form.FileSystem.CreateFileSystemObject();
    std::unique_ptr<FileObject> file = fso->GetFile(form.CurrentPath, form.CurrentStamp);
    file->Delete();
    form.DeleteOutcome = 1;
    return;
  } catch (const RuntimeError& error) {
    number = error.Number();
  } catch (const std::exception&) {
    // No failure of a deletion may reach the caller; one without a number of
    // its own is reported as an internal error.
    number = kInternalError;
  }
  form.DeleteOutcome = 0;
  if (number == kPermissionDenied) {
    ShowFailure(form, "不能删除文件" + form.CurrentPath);
  } else {
    ShowFailure(form, "发生错误" + std::to_string(number));
  }
}

void Command2_Click(Form1Context& form) {
  std::int64_t selectedCount = 0;
  for (std::int64_t i = form.List1.ListCount() - 1; i >= 0; --i) {
    if (form.List1.Selected(i)) ++selectedCount;
  }
  if (selectedCount == 0) {
    form.MessageBox.MsgBox("请选择删除项目!", MsgBoxButtons::kOkOnly, MsgBoxIcon::kNone, {});
    return;
  }

  const int answer =
      form.MessageBox.MsgBox("确实要删除这" + std::to_string(selectedCount) + "项吗？",
                             MsgBoxButtons::kYesNo, MsgBoxIcon::kExclamation, "三思而后行");
  if (answer == kMsgBoxYes) {
    DeletionBatch batch(form.FileSystem);
    DeletedFiles deleted;
    // From the last entry to the first: removing the entry at the index moves
    // only entries already visited, so none is skipped or visited twice.
    for (std::int64_t i = form.List1.ListCount() - 1; i >= 0; --i) {
      if (!form.List1.Selected(i)) continue;
      form.CurrentPath.assign(form.List1.List(i));
      form.CurrentStamp = form.List1.Stamp(i);
      if (deleted.Contains(form.CurrentPath, form.CurrentStamp)) {
        // Its file went with an entry after it: nothing left to delete.
        form.List1.RemoveItem(i);
        continue;
      }
      Manip_Files(form);
      if (form.DeleteOutcome == 1) {
        deleted.Add(form.CurrentPath, form.CurrentStamp);
        form.List1.RemoveItem(i);
      }
    }
  }

  form.Label1.SetCaption("还剩下 " + std::to_string(form.List1.ListCount()) + "个垃圾文件");
}

}  // namespace tidwen

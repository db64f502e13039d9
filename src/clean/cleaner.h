// The deletion commands of the main window, over the engine's deletion
// (DeleteFile, DeleteFiles).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/deletion.h"
#include "model/check_list.h"
#include "model/form1_context.h"

namespace tidwen {

// Deletes the file at form.CurrentPath (found as form.CurrentStamp) through a
// new file-system object, and sets form.DeleteOutcome to 1 or 0. A failure
// shows one message box and never throws.
void Manip_Files(Form1Context& form);

// The selected entries of List1 as the delete command found them, from the
// last to the first: a compact copy (path entries share their arenas), which
// the deletion may read on another thread while List1 stays the window's.
// Path() and Stamp() build into the copy's own buffers: one thread at a
// time; Entry() may be read from any thread.
class CheckedEntries : public DeletionTargets {
 public:
  explicit CheckedEntries(const ListControl& list);
  std::int64_t Count() const override { return copies_.Count(); }
  std::string_view Path(std::int64_t i) const override { return copies_.Text(i); }
  FileStamp Stamp(std::int64_t i) const override { return copies_.Stamp(i); }
  // Target i's index in List1 when the command started.
  std::int64_t Entry(std::int64_t i) const { return indices_[static_cast<std::size_t>(i)]; }

 private:
  CheckList copies_;
  std::vector<std::int64_t> indices_;
};

// Takes each outcome into the window: the entry of a file gone leaves List1,
// a failure shows its box; either way CurrentPath and CurrentStamp name the
// file.
class WindowDeletion : public DeletionObserver {
 public:
  WindowDeletion(Form1Context& form, const CheckedEntries& entries)
      : form_(form), entries_(entries) {}

  void Done(std::int64_t i, std::string_view path, const DeletionOutcome& outcome) override {
    Take(i, path, entries_.Stamp(i), outcome);
  }
  // The same with target i's stamp given: what a window calls on its own
  // thread when the deletion runs on another.
  void Take(std::int64_t i, std::string_view path, const FileStamp& stamp,
            const DeletionOutcome& outcome);

 private:
  Form1Context& form_;
  const CheckedEntries& entries_;
};

// The delete command: confirms, deletes the file of every selected List1
// entry from the last to the first, removes each entry whose file was
// deleted, and shows how many entries remain in Label1. An entry whose file
// this batch has already deleted through another entry (the same path and
// stamp) leaves the list too, without being tried again, and so does every
// entry of a deleted file that was not selected. A failure shows its box;
// one that says the system has no descriptor left (67) ends the batch, and
// the entries not yet tried stay as they are.
//
// The deletion runs here, and each outcome is shown as it comes.
void Command2_Click(Form1Context& form);

// The delete command's middle step: deletes checked, each deleted file
// added to deleted, and has window take each outcome.
using DeletionRun = std::function<void(const CheckedEntries& checked, WindowDeletion& window,
                                       DeletedFiles& deleted)>;

// The same command with its deletion made by run: a window runs it on a
// worker, and takes the outcomes (and shows the boxes) on its own thread.
void Command2_Click(Form1Context& form, const DeletionRun& run);

}  // namespace tidwen

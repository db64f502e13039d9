// The deletion commands of the main window, over the engine's deletion
// (DeleteFile, DeleteFiles).
#pragma once

#include "model/form1_context.h"

namespace tidwen {

// Deletes the file at form.CurrentPath (found as form.CurrentStamp) through a
// new file-system object, and sets form.DeleteOutcome to 1 or 0. A failure
// shows one message box and never throws.
void Manip_Files(Form1Context& form);

// The delete command: confirms, deletes the file of every selected List1
// entry from the last to the first, removes each entry whose file was
// deleted, and shows how many entries remain in Label1. An entry whose file
// this batch has already deleted through another entry (the same path and
// stamp) leaves the list too, without being tried again, and so does every
// entry of a deleted file that was not selected. A failure shows its box;
// one that says the system has no descriptor left (67) ends the batch, and
// the entries not yet tried stay as they are.
void Command2_Click(Form1Context& form);

}  // namespace tidwen

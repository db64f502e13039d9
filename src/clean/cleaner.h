// Deleting files: one file, and every selected result.
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
// stamp) leaves the list too, without being tried again.
void Command2_Click(Form1Context& form);

}  // namespace tidwen

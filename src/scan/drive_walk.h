// The scan command: the engine's walk (WalkDrive) of the chosen drive, shown
// in the window.
#pragma once

#include "model/form1_context.h"

namespace tidwen {

// Switches to the results view, tests every listed file of the drive chosen
// in Drive1 against the types chosen in List2, adding each hit to List1 and
// each directory queued to List3, and ends with the count message in Label1. A
// directory that cannot be listed, or a file whose length cannot be read, is
// skipped; the walk never throws for them. Only a failure numbered
// kTooManyFiles (the system has no descriptor left) ends the walk, after one
// box "发生错误67", with the count of what was found until then.
void Command1_Click(Form1Context& form);

}  // namespace tidwen

// The scan command: the engine's walk (WalkDrive) of the chosen drive, shown
// in the window.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "engine/walk.h"
#include "model/form1_context.h"

namespace tidwen {

// Switches to the results view, tests every listed file of the drive chosen
// in Drive1 against the types chosen in List2, adding each hit to List1 and
// each directory queued to List3, and ends with the count message in Label1. A
// directory that cannot be listed, or a file whose length cannot be read, is
// skipped; the walk never throws for them. Only a failure numbered
// kTooManyFiles (the system has no descriptor left) ends the walk, after one
// box "发生错误67", with the count of what was found until then.
//
// The walk runs here, through Dir1 and File1, and shows each hit and file as
// it goes.
void Command1_Click(Form1Context& form);

// The scan's middle step: walks root into arena for the chosen types,
// showing each hit in List1 and each file tested in Label1, and returns the
// walk's result, with Dir1 and File1 left at the last directory listed.
using ScanWalk = std::function<WalkResult(const std::shared_ptr<PathArena>& arena,
                                          std::string_view root, JunkTypes chosen)>;

// The same command with its walk made by walk: a window runs it on a worker
// while its own thread shows what the walk hands over.
void Command1_Click(Form1Context& form, const ScanWalk& walk);

}  // namespace tidwen

// The main window's commands that only move between views and set check
// marks. Both front ends call these, so each rule has one home.
#pragma once

#include <string_view>

#include "model/form1_context.h"
#include "platform/platform.h"

namespace tidwen {

// Choose types: back to the choose-types view, emptying the ResultList and
// the DirectoryQueue. The PatternList keeps its entries and check marks; the
// directory and file lists show whatever they were last set to.
void Command3_Click(Form1Context& form);

// Select all: checks every ResultList entry, then PatternList entries 0 to
// 14. The zero-length type keeps its mark. The view does not change.
void Command5_Click(Form1Context& form);

// What the directory and file lists show at start: the working directory
// (a path of the system), or the first drive's root when it lies on no
// drive or cannot be read. Returns the letter of the drive to choose in
// Drive1: the working directory's; 0 when there is no drive.
char OpenStartDirectory(Form1Context& form, const Platform& platform,
                        std::string_view workingDirectory);

}  // namespace tidwen

// The main window's commands that only move between views and set check
// marks. Both front ends call these, so each rule has one home.
#pragma once

#include "model/form1_context.h"

namespace tidwen {

// Choose types: back to the choose-types view, emptying the ResultList and
// the DirectoryQueue. The PatternList keeps its entries and check marks; the
// directory and file lists show whatever they were last set to.
void Command3_Click(Form1Context& form);

// Select all: checks every ResultList entry, then PatternList entries 0 to
// 14. The zero-length type keeps its mark. The view does not change.
void Command5_Click(Form1Context& form);

}  // namespace tidwen

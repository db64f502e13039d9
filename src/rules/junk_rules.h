// The main window's procedures of the junk types: its load handler and
// the file test, over the engine's junk test.
#pragma once

#include "engine/junk_test.h"
#include "model/form1_context.h"
#include "rules/junk_types.h"

namespace tidwen {

// The types selected in the PatternList, List2.
JunkTypes ChosenTypes(const ListControl& list2);

// The main window's load handler: hides List1 and List3, fills List2 with
// the sixteen labels in table order and selects all.
void Form_Load(Form1Context& form);

// Tests the file at form.CurrentPath against the types selected in List2
// (the engine's junk test, TestJunkFile), adding CurrentPath to List1 once
// per type it is listed under, each followed by a Refresh of List1. Queries
// the file's length once per matching suffix type and once more for every
// file. Throws the length query's RuntimeError; entries already added stay.
void Printt(Form1Context& form);

}  // namespace tidwen

// The sixteen junk types and the file test.
#pragma once

#include <array>
#include <string_view>

#include "model/form1_context.h"

namespace tidwen {

struct JunkType {
  std::string_view label;   // as the PatternList shows it
  std::string_view suffix;  // compared with the end of the path; empty for
                            // the zero-length type
};

inline constexpr int kJunkTypeCount = 16;
// The last type takes empty files; the types before it are the suffix types.
inline constexpr int kZeroLengthType = 15;
inline constexpr std::array<JunkType, kJunkTypeCount> kJunkTypes = {{
    {"*.---", ".---"},
    {"*.??$", "$"},
    {"*.??~", "~"},
    {"*.bak", ".bak"},
    {"*.chk", ".chk"},
    {"*.fts", ".fts"},
    {"*.gid", ".gid"},
    {"*.old", ".old"},
    {"*.tmp", ".tmp"},
    {"*._mp", "._mp"},
    {"*.syd", ".syd"},
    {"*.wbk", ".wbk"},
    {"*.xlk", ".xlk"},
    {"*.$$$", ".$$$"},
    {"*.@@@", ".@@@"},
    {"0字节", ""},
}};

// The main window's load handler: builds the SuffixTable, hides List1 and
// List3, fills List2 with the sixteen labels in table order and selects all.
void Form_Load(Form1Context& form);

// Tests the file at form.CurrentPath against the selected junk types, adding
// CurrentPath to List1 once per selected type that it matches, each followed
// by a Refresh of List1. Queries the file's length once per matching suffix
// type and once more for every file. Throws the length query's RuntimeError;
// entries already added stay.
void Printt(Form1Context& form);

}  // namespace tidwen

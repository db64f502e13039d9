// The sixteen junk types: what the type list shows, and what each takes.
#pragma once

#include <array>
#include <string_view>

namespace tidwen {

struct JunkType {
  std::string_view label;   // as the PatternList shows it
  std::string_view suffix;  // compared with the end of the name; empty for
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

}  // namespace tidwen

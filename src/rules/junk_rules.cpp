#include "rules/junk_rules.h"

#include <cstddef>

#include "rules/never_offered.h"

namespace tidwen {

namespace {

// ASCII upper case only: the suffixes are ASCII, and the test must not fold
// anything the locale might.
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// True when tail equals suffix as listed or all in upper case.
bool MatchesSuffix(std::string_view tail, std::string_view suffix) {
  if (tail.size() != suffix.size()) return false;
  if (tail == suffix) return true;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (tail[i] != AsciiUpper(suffix[i])) return false;
  }
  return true;
}

}  // namespace

void Form_Load(Form1Context& form) {
  for (int i = 0; i < kZeroLengthType; ++i) form.SuffixTable[i] = kJunkTypes[i].suffix;
  form.List1.SetVisible(false);
  form.List3.SetVisible(false);
  for (int i = 0; i < kJunkTypeCount; ++i) form.List2.AddItem(kJunkTypes[i].label, std::int64_t{i});
  for (int i = 0; i < kJunkTypeCount; ++i) form.List2.SetSelected(i, true);
}

void Printt(Form1Context& form) {
  const std::string_view path = form.CurrentPath;
  // A file whose emptiness is its meaning is measured as any other, but
  // never offered. Its name is told in any case, on every platform.
  const std::size_t nameStart = path.rfind('\\') + 1;
  const bool offered = !IsNeverOfferedFile(path.substr(nameStart), /*ignoreAsciiCase=*/true);
  for (int i = kZeroLengthType - 1; i >= 0; --i) {
    if (!form.List2.Selected(i)) continue;
    const std::string_view suffix = form.SuffixTable[i];
    // The match width is the suffix's length: 1 for "$" and "~", 4 for the
    // rest. A path shorter than the width is compared whole.
    const std::size_t width = suffix.size();
    const std::string_view tail = path.substr(path.size() > width ? path.size() - width : 0);
    if (!MatchesSuffix(tail, suffix)) continue;
    if (form.FileLength.FileLen(path) != 0 && offered) {
      form.List1.AddItem(path, form.FileLength.LastStamp());
      form.List1.Refresh();
    }
  }
  // The zero-length query runs for every file, selected or not, so a file
  // that cannot be measured fails the test whatever the selection.
  const bool zeroSelected = form.List2.Selected(kZeroLengthType);
  if (form.FileLength.FileLen(path) == 0 && zeroSelected && offered) {
    form.List1.AddItem(path, form.FileLength.LastStamp());
    form.List1.Refresh();
  }
}

}  // namespace tidwen

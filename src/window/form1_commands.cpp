#include "window/form1_commands.h"

#include <cstdint>

#include "rules/junk_rules.h"

namespace tidwen {

void Command3_Click(Form1Context& form) {
  form.Dir1.SetVisible(true);
  form.Drive1.SetVisible(true);
  form.File1.SetVisible(true);
  form.List1.SetVisible(false);
  form.List2.SetVisible(true);
  form.List3.SetVisible(false);
  form.List3.SetVisible(false);
  form.List1.SetVisible(false);
  form.List1.Clear();
  form.List3.Clear();
}

void Command5_Click(Form1Context& form) {
  // The count is read once, before the loop.
  const std::int64_t count = form.List1.ListCount();
  for (std::int64_t i = 0; i < count; ++i) form.List1.SetSelected(i, true);
  // The suffix types only: the zero-length type keeps its mark.
  for (std::int64_t i = 0; i < kZeroLengthType; ++i) form.List2.SetSelected(i, true);
}

}  // namespace tidwen

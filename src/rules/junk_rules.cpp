#include "rules/junk_rules.h"

#include <cstddef>

namespace tidwen {

void Form_Load(Form1Context& form) {
  form.List1.SetVisible(false);
  form.List3.SetVisible(false);
  for (int i = 0; i < kJunkTypeCount; ++i) form.List2.AddItem(kJunkTypes[i].label, std::int64_t{i});
  for (int i = 0; i < kJunkTypeCount; ++i) form.List2.SetSelected(i, true);
}

JunkTypes ChosenTypes(const ListControl& list2) {
  JunkTypes chosen;
  for (int type = 0; type < kJunkTypeCount; ++type) {
    if (list2.Selected(type)) chosen.Add(type);
  }
  return chosen;
}

void Printt(Form1Context& form) {
  const std::string_view path = form.CurrentPath;
  const std::string_view name = path.substr(path.rfind('\\') + 1);
  TestJunkFile(
      name, ChosenTypes(form.List2), [&] { return form.FileLength.FileLen(path); },
      [&](int) {
        form.List1.AddItem(path, form.FileLength.LastStamp());
        form.List1.Refresh();
      });
}

}  // namespace tidwen

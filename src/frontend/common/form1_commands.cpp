#include "frontend/common/form1_commands.h"

#include <cstdint>
#include <optional>
#include <string>

#include "model/runtime_error.h"

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

char OpenStartDirectory(Form1Context& form, const Platform& platform,
                        std::string_view workingDirectory) {
  const std::vector<DriveInfo> drives = platform.Drives();
  if (drives.empty()) return 0;
  const std::string root = std::string(1, drives.front().letter) + ":\\";
  const std::string start = platform.DrivePathOf(workingDirectory).value_or(root);
  for (const std::string& path : {start, root}) {
    try {
      form.Dir1.SetPath(path);
      form.File1.SetPath(form.Dir1.Path());
      break;
    } catch (const RuntimeError&) {
      // Unreadable: fall back to the drive's root, or show nothing.
    }
  }
  return start[0];
}

}  // namespace tidwen

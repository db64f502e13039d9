// The main window's logic over the real Linux platform and a temporary tree
// mapped as drive c:, with plain controls and scripted message boxes.
#pragma once

#include <string>
#include <vector>

#include "memory_platform.h"
#include "model/plain_controls.h"
#include "platform/linux/linux_platform.h"
#include "rules/junk_rules.h"
#include "support/temp_tree.h"

namespace tidwen::test {

class RealForm {
 public:
  explicit RealForm(const TempTree& tree) : platform(DriveTable({Drive{'c', tree.Root(), ""}})) {
    Form_Load(context);
  }
  RealForm(const TempTree& tree, SysCalls& sys)
      : platform(DriveTable({Drive{'c', tree.Root(), ""}}), sys) {
    Form_Load(context);
  }
  // Over any drive table, with drive chosen in Drive1 ("d: [...]").
  RealForm(DriveTable drives, std::string drive, SysCalls& sys) : platform(std::move(drives), sys) {
    Drive1.SetDrive(std::move(drive));
    Form_Load(context);
  }

  std::vector<std::string> Results() const { return List1.Texts(); }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : MessageBox.boxes) texts.push_back(box.text);
    return texts;
  }
  void SelectAllResults() {
    for (std::int64_t i = 0; i < List1.ListCount(); ++i) List1.SetSelected(i, true);
  }

  LinuxPlatform platform;
  RecordingList List1;
  PlainListControl List2;
  PlainListControl List3;
  PlainLabel Label1;
  PlainDriveList Drive1{"c: [tree]"};
  ScriptedMessageBox MessageBox;
  Form1Context context =
      MakeForm1Context({List1, List2, List3, Label1, Drive1}, platform.Services(), MessageBox);
};

}  // namespace tidwen::test

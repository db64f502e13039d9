#include "headless_form.h"

#include <cstdio>
#include <cstdlib>

#include "bench_model.h"

namespace tidwen::bench {

int AbortingMessageBox::MsgBox(std::string_view text, MsgBoxButtons, MsgBoxIcon,
                               std::string_view title) {
  std::fprintf(stderr, "tidwen-bench: unexpected message box [%s] %s\n", Printable(title).c_str(),
               Printable(text).c_str());
  std::abort();
}

int YesMessageBox::MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon,
                          std::string_view) {
  if (buttons == MsgBoxButtons::kYesNo) {
    ++questions;
    lastQuestion.assign(text);
    return kMsgBoxYes;
  }
  if (failures++ == 0) firstFailure.assign(text);
  return kMsgBoxOk;
}

HeadlessForm::HeadlessForm(const std::string& root, MessageBoxService& box)
    : platform_(MakeTunablePlatform(root)),
      context_(MakeForm1Context({list1_, list2_, list3_, label1_, drive1_}, platform_->Services(),
                                box)) {}

std::string ScanCaption(std::int64_t count) {
  return "共找到 " + std::to_string(count) + "个垃圾文件";
}

}  // namespace tidwen::bench

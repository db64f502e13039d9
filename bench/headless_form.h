// The main window's logic without a window: the real platform with
// drive c: mapped to one directory, and plain controls.
#pragma once

#include <cstdint>
#include <string>

#include "child_report.h"
#include "model/form1_context.h"
#include "model/plain_controls.h"
#include "platform/tunable_platform.h"

namespace tidwen::bench {

// A message box that no scan should ever show: it reports the text on
// standard error and aborts, so that a benchmark never times a run that
// needed the user.
class AbortingMessageBox : public MessageBoxService {
 public:
  int MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
             std::string_view title) override;
};

// Answers Yes to every question and counts every other box (each one is a
// failure report) without stopping.
class YesMessageBox : public MessageBoxService, public BoxTally {
 public:
  int MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
             std::string_view title) override;
};

// Owns everything a Form1Context refers to. Not copyable or movable, since
// the context holds references into it.
class HeadlessForm {
 public:
  // root: an absolute POSIX directory, mapped as drive c:.
  HeadlessForm(const std::string& root, MessageBoxService& box);
  HeadlessForm(const HeadlessForm&) = delete;
  HeadlessForm& operator=(const HeadlessForm&) = delete;

  Form1Context& Context() { return context_; }
  TunablePlatform& platform() { return *platform_; }
  PlainListControl& ResultList() { return list1_; }
  PlainLabel& Label() { return label1_; }

 private:
  std::unique_ptr<TunablePlatform> platform_;
  PlainListControl list1_;
  PlainListControl list2_;
  PlainListControl list3_;
  PlainLabel label1_;
  PlainDriveList drive1_{"c:"};
  Form1Context context_;
};

// The caption a scan leaves when the ResultList holds count entries.
std::string ScanCaption(std::int64_t count);

}  // namespace tidwen::bench

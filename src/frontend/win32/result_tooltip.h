// The results list's tooltip: where the file of the entry under the pointer
// really is, its size and last write, read when the tip is about to show.
#pragma once

#include "platform/windows/win32.h"

#include <string>

#include "frontend/win32/controls.h"
#include "platform/platform.h"

namespace tidwen::win32 {

class ResultToolTip {
 public:
  // owner receives the tip's notifications and passes them to Notify();
  // list and platform must outlive the tip.
  ResultToolTip(HWND owner, CheckListBox& list, const Platform& platform);
  ~ResultToolTip();
  ResultToolTip(const ResultToolTip&) = delete;
  ResultToolTip& operator=(const ResultToolTip&) = delete;

  HWND Hwnd() const { return hwnd_; }
  // Answers the tip's request for its text, empty unless describe; false
  // for another notification.
  bool Notify(const NMHDR& header, LPARAM lParam, bool describe);

 private:
  HWND hwnd_;
  HWND owner_;
  CheckListBox& list_;
  const Platform& platform_;
  std::wstring text_;  // what the tip shows now; it keeps a pointer to it
};

}  // namespace tidwen::win32

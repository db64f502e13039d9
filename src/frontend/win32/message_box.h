// Message boxes of the system's own, with its own buttons (是(Y), 否(N),
// 确定 on a Chinese system).
#pragma once

#include "platform/windows/win32.h"

#include "model/services.h"

namespace tidwen::win32 {

class Win32MessageBoxService : public MessageBoxService {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  int MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
             std::string_view title) override;

 private:
  HWND owner_ = nullptr;
};

}  // namespace tidwen::win32

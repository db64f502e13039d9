#include "frontend/win32/message_box.h"

#include "frontend/win32/win32_ui.h"

namespace tidwen::win32 {

int Win32MessageBoxService::MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
                                   std::string_view title) {
  UINT flags = MB_DEFBUTTON1 | MB_SETFOREGROUND;
  flags |= buttons == MsgBoxButtons::kYesNo ? MB_YESNO : MB_OK;
  if (icon == MsgBoxIcon::kExclamation) flags |= MB_ICONWARNING;
  const std::wstring wideTitle = Wide(title.empty() ? kApplicationTitle : title);
  const int answer = MessageBoxW(owner_ && IsWindow(owner_) ? owner_ : nullptr, Wide(text).c_str(),
                                 wideTitle.c_str(), flags);
  switch (answer) {
    case IDYES:
      return kMsgBoxYes;
    case IDNO:
      return kMsgBoxNo;
    case IDOK:
      return kMsgBoxOk;
    default:
      // Closed some other way (Esc where allowed): the safe answer.
      return buttons == MsgBoxButtons::kYesNo ? kMsgBoxNo : kMsgBoxOk;
  }
}

}  // namespace tidwen::win32

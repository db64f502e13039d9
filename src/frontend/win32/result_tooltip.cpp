#include "frontend/win32/result_tooltip.h"

#include <commctrl.h>

#include "frontend/common/file_tooltip.h"
#include "frontend/win32/win32_ui.h"

namespace tidwen::win32 {

namespace {

TTTOOLINFOW ToolOf(HWND owner, HWND list) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(list);
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  return tool;
}

}  // namespace

ResultToolTip::ResultToolTip(HWND owner, CheckListBox& list, const Platform& platform)
    : owner_(owner), list_(list), platform_(platform) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);
  hwnd_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetModuleHandleW(nullptr),
                          nullptr);
  TTTOOLINFOW tool = ToolOf(owner, list.Hwnd());
  SendMessageW(hwnd_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  // A width makes the tip break its lines at "\n".
  SendMessageW(hwnd_, TTM_SETMAXTIPWIDTH, 0, 2000);
  // Another entry under the pointer: the tip asks for its text again.
  list.SetHoverHook([this] { SendMessageW(hwnd_, TTM_UPDATE, 0, 0); });
}

ResultToolTip::~ResultToolTip() {
  list_.SetHoverHook({});
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool ResultToolTip::Notify(const NMHDR& header, LPARAM lParam, bool describe) {
  if (header.hwndFrom != hwnd_ || header.code != TTN_GETDISPINFOW) return false;
  auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
  const std::int64_t index = list_.HoverIndex();
  text_ = describe && index >= 0 && index < list_.ListCount()
              ? Wide(frontend::ResultToolTip(platform_, list_.List(index)))
              : std::wstring();
  info->lpszText = text_.data();
  return true;
}

}  // namespace tidwen::win32

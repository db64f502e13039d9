// The main window's messages: commands routed to their handlers through
// one table, the controls' own messages reflected to them, the keyboard
// interface, and the guard every handler runs under.
#include "frontend/win32/form1.h"

#include <exception>
#include <string>

#include "frontend/common/command_failure.h"
#include "frontend/win32/form2.h"

namespace tidwen::win32 {

namespace {

// Messages the user's input makes: dropped while a scan runs.
bool IsInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCMBUTTONDBLCLK) ||
         (message >= WM_NCXBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK) || message == WM_INPUT ||
         message == WM_MOUSEHOVER || message == WM_MOUSELEAVE || message == WM_NCMOUSEHOVER ||
         message == WM_NCMOUSELEAVE;
}

// Whether input asks to close the window it is aimed at: a click on the
// close box, or Alt+F4.
bool IsCloseGesture(const MSG& message) {
  switch (message.message) {
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
      return message.wParam == HTCLOSE;
    case WM_SYSKEYDOWN:
      return message.wParam == VK_F4 && (message.lParam & (1 << 29)) != 0;
    default:
      return false;
  }
}

}  // namespace

const Form1::Route* Form1::RouteOf(int id, WORD code) {
  // The buttons' clicks run their handlers under the guard; the lists'
  // notifications run their own.
  static constexpr Route kRoutes[] = {
      {kCommand1, BN_CLICKED, &Form1::Command1_Click, true},
      {kCommand2, BN_CLICKED, &Form1::Command2_Click, true},
      {kCommand3, BN_CLICKED, &Form1::Command3_Click, true},
      {kCommand4, BN_CLICKED, &Form1::Command4_Click, true},
      {kCommand5, BN_CLICKED, &Form1::Command5_Click, true},
      {kCommand6, BN_CLICKED, &Form1::Command6_Click, true},
      {kDrive1, CBN_DROPDOWN, &Form1::Drive1_DropDown, false},
      {kDir1, LBN_DBLCLK, &Form1::Dir1_DblClick, false},
  };
  for (const Route& route : kRoutes) {
    if (route.id == id && route.code == code) return &route;
  }
  return nullptr;
}

void Form1::Guarded(void (Form1::*handler)()) {
  // Handlers never nest (input is dropped while one runs), but a box shown
  // by one must not start a second guard that would let closes through.
  if (inHandler_) {
    RunShowingErrors(handler);
    return;
  }
  inHandler_ = true;
  RunShowingErrors(handler);
  // The lists' final state reaches the screen, however the pacer spaced
  // their repaints.
  if (list1_) {
    list1_->Sync();
    list2_->Sync();
    list3_->Sync();
    label1_->Sync();
  }
  // Whatever the handler opened on a drive is closed when it returns.
  platform_.ReleaseHandles();
  inHandler_ = false;
  // Close requests kept meanwhile are carried out now.
  if (aboutCloseHeld_) {
    aboutCloseHeld_ = false;
    if (form2_ && form2_->Hwnd()) PostMessageW(form2_->Hwnd(), WM_CLOSE, 0, 0);
  }
  if (closeHeld_) {
    closeHeld_ = false;
    if (hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  }
}

void Form1::RunShowingErrors(void (Form1::*handler)()) {
  frontend::RunShowingFailure(messageBox_, [&] { (this->*handler)(); });
}

void Form1::PumpNonInput() {
  // Bounded, so that a message that keeps coming cannot hold the scan up.
  MSG message;
  for (int i = 0; i < 1000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (message.message == WM_QUIT) {
      // Not ours to take: the message loop ends once the scan is over.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (IsInput(message.message)) {
      // A close asked for by the mouse or keyboard is held as a posted one
      // is; every other input is dropped.
      if (IsCloseGesture(message)) HoldClose(GetAncestor(message.hwnd, GA_ROOT));
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Form1::HoldClose(HWND window) {
  if (!window) return;
  if (window == hwnd_) closeHeld_ = true;
  if (form2_ && window == form2_->Hwnd()) aboutCloseHeld_ = true;
}

bool Form1::PreTranslate(MSG& message) {
  if (controls_ && controls_->HandleTab(message)) return true;
  if (form2_ && form2_->HandleTab(message)) return true;
  if (hwnd_ && (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd)))
    return IsDialogMessageW(hwnd_, &message) != FALSE;
  if (form2_ && form2_->Hwnd() &&
      (message.hwnd == form2_->Hwnd() || IsChild(form2_->Hwnd(), message.hwnd)))
    return IsDialogMessageW(form2_->Hwnd(), &message) != FALSE;
  return false;
}

LRESULT CALLBACK Form1::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Form1* self = WindowObject<Form1>(hwnd, message, lParam);
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCCREATE) self->hwnd_ = hwnd;
  return self->Handle(message, wParam, lParam);
}

LRESULT Form1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = hwnd_;
  switch (message) {
    case WM_ERASEBKGND:
      if (controls_ && controls_->EraseWindow(reinterpret_cast<HDC>(wParam))) return 1;
      break;
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX: {
      // Each control draws, measures and colours itself.
      LRESULT result = 0;
      if (ReflectToOwner(hwnd, message, wParam, lParam, result)) return result;
      break;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && lParam == 0) {
        Form_Enter();
        return 0;
      }
      if (const Route* route = RouteOf(LOWORD(wParam), HIWORD(wParam))) {
        if (route->guarded) {
          Guarded(route->handler);
        } else {
          (this->*route->handler)();
        }
        return 0;
      }
      break;
    case WM_NOTIFY:
      if (resultTip_ && resultTip_->Notify(*reinterpret_cast<const NMHDR*>(lParam), lParam))
        return 0;
      break;
    case WM_SETCURSOR:
      if (scanning_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_DPICHANGED: {
      Layout(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_ACTIVATE:
      // Deactivated: the focused control is remembered; activated: it has
      // the focus again.
      if (controls_ && focus_.OnActivate(hwnd, wParam, controls_->NextTabStop(nullptr, false)))
        return 0;
      break;
    case WM_SETFOCUS:
      // The window itself never keeps the focus: its control takes it.
      if (controls_ && focus_.OnSetFocus(hwnd, controls_->NextTabStop(nullptr, false))) return 0;
      break;
    case WM_CLOSE:
      if (inHandler_) {
        // Kept until the handler has returned: a window never goes away
        // under a handler.
        closeHeld_ = true;
        return 0;
      }
      DestroyWindow(hwnd);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      resultTip_.reset();
      controls_.reset();
      messageBox_.SetOwner(nullptr);
      QuitIfLast();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace tidwen::win32

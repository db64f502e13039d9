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

// Messages the user's input makes.
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

// What input asks for, as the busy policy tells it apart.
frontend::InputKind InputKindOf(const MSG& message) {
  if (IsCloseGesture(message)) return frontend::InputKind::kCloseGesture;
  switch (message.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_MOUSEHOVER:
    case WM_MOUSELEAVE:
    case WM_NCMOUSEHOVER:
    case WM_NCMOUSELEAVE:
      return frontend::InputKind::kPointer;
    default:
      return message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST
                 ? frontend::InputKind::kKey
                 : frontend::InputKind::kPress;
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
  // A command never starts inside another.
  if (!policy_.Begin()) return;
  RunShowingErrors(handler);
  // The lists' final state reaches the screen, however the pacer spaced
  // their repaints.
  if (list1_) {
    list1_->Sync();
    list2_->Sync();
    list3_->Sync();
    label1_->Sync();
  }
  // Whatever the handler opened on a drive is closed when it returns (its
  // worker has ended).
  platform_.ReleaseHandles();
  // Close requests kept meanwhile are carried out now.
  for (const frontend::WindowRole role : policy_.End()) {
    const HWND window = role == frontend::WindowRole::kMain ? hwnd_
                        : form2_                            ? form2_->Hwnd()
                                                            : nullptr;
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

void Form1::RunShowingErrors(void (Form1::*handler)()) {
  frontend::RunShowingFailure(messageBox_, [&] { (this->*handler)(); });
}

frontend::WindowRole Form1::RoleOf(HWND window) const {
  const HWND root = window ? GetAncestor(window, GA_ROOT) : nullptr;
  if (root && root == hwnd_) return frontend::WindowRole::kMain;
  if (root && form2_ && root == form2_->Hwnd()) return frontend::WindowRole::kAbout;
  return frontend::WindowRole::kOther;
}

bool Form1::DropsWhileBusy(const MSG& message) {
  if (!IsInput(message.message)) return false;
  return policy_.OnInput(InputKindOf(message), RoleOf(message.hwnd)) != frontend::Verdict::kPass;
}

void Form1::Dispatch(MSG& message) {
  if (PreTranslate(message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
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
        // While a command runs the drives are its worker's: the lists'
        // own notifications, which read them, wait for none.
        if (route->guarded) {
          Guarded(route->handler);
        } else if (!policy_.Busy()) {
          (this->*route->handler)();
        }
        return 0;
      }
      break;
    case WM_NOTIFY:
      // The platform is the worker's while a command runs: no file is
      // described meanwhile.
      if (resultTip_ &&
          resultTip_->Notify(*reinterpret_cast<const NMHDR*>(lParam), lParam, !policy_.Busy()))
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
      // Kept until a running handler has returned: a window never goes away
      // under a handler.
      if (policy_.OnClose(frontend::WindowRole::kMain) == frontend::Verdict::kHoldClose) return 0;
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

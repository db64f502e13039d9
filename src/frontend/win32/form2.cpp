#include "frontend/win32/form2.h"

#include "frontend/common/window_description.h"
#include "frontend/win32/win32_ui.h"

namespace tidwen::win32 {

namespace {

constexpr DWORD kFixedWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

}  // namespace

Form2::Form2(std::function<void()> onClosed) : onClosed_(std::move(onClosed)) {
  static const bool registered = [] {
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &Form2::Proc;
    form.hInstance = GetModuleHandleW(nullptr);
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // The platform's window colour, as the description has it.
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.hIcon = LoadProgramIcon(GetSystemMetrics(SM_CXICON));
    form.hIconSm = LoadProgramIcon(GetSystemMetrics(SM_CXSMICON));
    form.lpszClassName = kForm2Class;
    return RegisterClassExW(&form) != 0;
  }();
  (void)registered;
  icon_ = LoadProgramIcon(32);
}

Form2::~Form2() {
  onClosed_ = nullptr;
  if (hwnd_) DestroyWindow(hwnd_);
}

void Form2::Show() {
  if (!hwnd_) {
    CreateWindowExW(0, kForm2Class, Wide(frontend::kCaption).c_str(), kFixedWindowStyle,
                    CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr,
                    GetModuleHandleW(nullptr), this);
    Pictures pictures;
    pictures.icon = icon_;
    controls_ = std::make_unique<WindowControls>(hwnd_, frontend::Form2Description(), pictures);
    controls_->Layout(DpiOf(hwnd_), kFixedWindowStyle);
  }
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
  // The focus on the first tab stop (the icon), not on the window.
  if (const HWND first = controls_->NextTabStop(nullptr, false)) SetFocus(first);
}

LRESULT CALLBACK Form2::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Form2* self = WindowObject<Form2>(hwnd, message, lParam);
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCCREATE) self->hwnd_ = hwnd;
  return self->Handle(message, wParam, lParam);
}

LRESULT Form2::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_DRAWITEM: {
      // The labels colour and draw themselves.
      LRESULT result = 0;
      if (ReflectToOwner(hwnd_, message, wParam, lParam, result)) return result;
      break;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd_, &paint);
      if (controls_) controls_->PaintLines(dc);
      EndPaint(hwnd_, &paint);
      return 0;
    }
    case WM_DPICHANGED: {
      if (controls_) controls_->Layout(HIWORD(wParam), kFixedWindowStyle);
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_ACTIVATE:
      // The focused control is remembered and given the focus back.
      if (controls_ && focus_.OnActivate(hwnd_, wParam, controls_->NextTabStop(nullptr, false)))
        return 0;
      break;
    case WM_SETFOCUS:
      // The window passes the focus on to its control.
      if (controls_ && focus_.OnSetFocus(hwnd_, controls_->NextTabStop(nullptr, false))) return 0;
      break;
    case WM_CLOSE:
      if (keepClose_ && keepClose_()) return 0;
      DestroyWindow(hwnd_);
      return 0;
    case WM_NCDESTROY: {
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      controls_.reset();
      if (onClosed_) onClosed_();
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace tidwen::win32

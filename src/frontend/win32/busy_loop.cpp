#include "frontend/win32/busy_loop.h"

#include <utility>

namespace tidwen::win32 {

namespace {

constexpr const wchar_t* kWakeClass = L"TidwenWake";
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT_PTR kWakeTimer = 1;

// The input messages, by range.
constexpr std::pair<UINT, UINT> kInputRanges[] = {
    {WM_KEYFIRST, WM_KEYLAST},
    {WM_MOUSEFIRST, WM_MOUSELAST},
    {WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK},
    {WM_NCXBUTTONDOWN, WM_NCXBUTTONDBLCLK},
};

}  // namespace

BusyLoop::BusyLoop(std::function<bool(const MSG&)> drop, std::function<void(MSG&)> dispatch)
    : drop_(std::move(drop)), dispatch_(std::move(dispatch)) {
  static const bool registered = [] {
    WNDCLASSW wake{};
    wake.lpfnWndProc = &BusyLoop::Proc;
    wake.hInstance = GetModuleHandleW(nullptr);
    wake.lpszClassName = kWakeClass;
    return RegisterClassW(&wake) != 0;
  }();
  (void)registered;
  wakeWindow_ = CreateWindowExW(0, kWakeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(wakeWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

BusyLoop::~BusyLoop() {
  if (wakeWindow_) DestroyWindow(wakeWindow_);
}

LRESULT CALLBACK BusyLoop::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<BusyLoop*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && (message == kWakeMessage || (message == WM_TIMER && wParam == kWakeTimer))) {
    if (message == WM_TIMER) KillTimer(hwnd, kWakeTimer);
    if (self->runner_) self->runner_->Drain();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void BusyLoop::Wake() {
  // From the worker: a message to the window's thread.
  PostMessageW(wakeWindow_, kWakeMessage, 0, 0);
}

void BusyLoop::WakeAfter(std::chrono::milliseconds delay) {
  SetTimer(wakeWindow_, kWakeTimer, static_cast<UINT>(delay.count()), nullptr);
}

void BusyLoop::Run() {
  quit_ = false;
  bool quitAsked = false;
  int quitCode = 0;
  MSG message;
  while (!quit_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) continue;
    if (got == 0) {
      // Not this loop's to take: the program's loop ends once the command
      // has.
      quitAsked = true;
      quitCode = static_cast<int>(message.wParam);
      continue;
    }
    if (!drop_(message)) dispatch_(message);
  }
  DropQueuedInput();
  if (quitAsked) PostQuitMessage(quitCode);
}

void BusyLoop::DropQueuedInput() {
  MSG message;
  for (const auto& [first, last] : kInputRanges) {
    while (PeekMessageW(&message, nullptr, first, last, PM_REMOVE)) {
      if (!drop_(message)) dispatch_(message);
    }
  }
}

}  // namespace tidwen::win32

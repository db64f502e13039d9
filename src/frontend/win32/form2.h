// The about window: the product, the maker and the author; no code of its
// own beyond drawing itself.
#pragma once

#include "platform/windows/win32.h"

#include <functional>
#include <memory>

#include "frontend/win32/win32_ui.h"
#include "frontend/win32/window_builder.h"

namespace tidwen::win32 {

class Form2 {
 public:
  // onClosed runs when the close box has destroyed the window. Show()
  // makes the window when there is none and shows it modelessly, without an
  // owner; after a close the next Show() makes it again, as it was.
  explicit Form2(std::function<void()> onClosed);
  ~Form2();
  Form2(const Form2&) = delete;
  Form2& operator=(const Form2&) = delete;

  void Show();
  // Null while the window is closed.
  HWND Hwnd() const { return hwnd_; }
  // Set by the main window while one of its handlers runs: a close request
  // is then kept for it to carry out.
  void SetCloseHook(std::function<bool()> keepClose) { keepClose_ = std::move(keepClose); }
  // Tab and Shift+Tab within the window; true when used.
  bool HandleTab(const MSG& message) { return controls_ && controls_->HandleTab(message); }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  std::function<void()> onClosed_;
  std::function<bool()> keepClose_;
  std::unique_ptr<WindowControls> controls_;
  FocusMemory focus_;
  HICON icon_ = nullptr;
};

inline constexpr const wchar_t* kForm1Class = L"TidwenForm1";
inline constexpr const wchar_t* kForm2Class = L"TidwenForm2";

}  // namespace tidwen::win32

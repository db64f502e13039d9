// The about window: the product, the maker and the author; no code of its
// own beyond drawing itself.
#pragma once

#include "platform/windows/win32.h"

#include <functional>
#include <vector>

#include "frontend/win32/win32_ui.h"

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

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Layout(UINT dpi);

  HWND hwnd_ = nullptr;
  std::function<void()> onClosed_;
  std::function<bool()> keepClose_;
  struct Placed {
    HWND hwnd;
    TwipsRect rect;
    const FontSpec* font;  // null: the window's default font
    bool toText;           // sized to its text in the font that stands in
    COLORREF color;
    bool transparent;
  };
  std::vector<Placed> placed_;
  std::vector<HFONT> fonts_;
  HWND picture1_ = nullptr;
  HICON icon_ = nullptr;
};

// The class both windows' picture boxes and Form1's frame are made of: a
// container that paints a picture or a sunken edge and passes its children's
// notifications to the window.
void RegisterWindowClasses();
inline constexpr const wchar_t* kContainerClass = L"TidwenBox";
inline constexpr const wchar_t* kForm1Class = L"TidwenForm1";
inline constexpr const wchar_t* kForm2Class = L"TidwenForm2";
// What a container paints.
struct ContainerArt {
  COLORREF background = CLR_INVALID;  // CLR_INVALID: the system's face colour
  HBITMAP bitmap = nullptr;  // drawn at its size from the top left, clipped
  HICON icon = nullptr;      // drawn at 32 by 32 from the top left
  bool sunkenEdge = false;
};
HWND MakeContainer(HWND parent, int id, const ContainerArt& art, bool tabStop);

}  // namespace tidwen::win32

// What Tidwen's Win32 windows share: twips at the monitor's DPI, the
// description's fonts and colours in GDI's terms, the controls' ids and
// text conversion.
#pragma once

#include "platform/windows/win32.h"

#include <string>
#include <string_view>

#include "frontend/common/window_description.h"

namespace tidwen::win32 {

// Layouts are in twips: 1440 to an inch, so 15 to a pixel at 96 DPI and
// fewer per pixel above it.
inline int Twips(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

// The description's colours as GDI's.
inline COLORREF ToColorRef(frontend::Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

// A font of the face at its size in points for the DPI, character set
// GB2312; where the face is missing the system substitutes one of its own
// choice. The caller deletes it.
HFONT MakeFont(const frontend::FontSpec& wanted, UINT dpi);

// Where a line of text in the DC's font puts ink, in pixels from its
// origin: an italic letter leans out beyond its advance, so that left can be
// below 0 and right beyond the text's extent.
struct TextInk {
  int left = 0;
  int right = 0;
};
TextInk InkOf(HDC dc, std::wstring_view text);

// Control ids: GetDlgItem finds each control in its container.
enum ControlId : int {
  kDrive1 = 1001,
  kDir1,
  kFile1,
  kFrame1,
  kLabel1,
  kList2,
  kLabel3,
  kLabel4,
  kList1,
  kList3,
  kPicture1,
  kLabel2,
  kCommand5,
  kCommand4,
  kCommand3,
  kCommand2,
  kCommand1,
  kLabel5,
  kLabel6,
  kCommand6,
  kLine1,
  kFrame1Rule1,  // the about window's second rule, Frame1(1)
};

// The id of a control of the description: its name's, Frame1(1) of the
// about window apart.
int ControlIdOf(const frontend::ControlDescription& control);

// Texts of the model are WTF-8 bytes; the windows show them as UTF-16, lone
// surrogates and all.
std::wstring Wide(std::string_view wtf8);
std::string Narrow(std::wstring_view wide);

// The program's icon at a size, from the executable's resources.
HICON LoadProgramIcon(int size);

// The logo, decoded from the executable's resources; null when it cannot
// be. The caller deletes it.
HBITMAP LoadLogo();

// The DPI of a window, or of the primary monitor before there is one.
UINT DpiOf(HWND window);

// The control of a window that had the focus when the window was last
// deactivated, given the focus again when it is activated (after a message
// box, a restore, a click on its title bar), as a dialog box does.
class FocusMemory {
 public:
  // WM_ACTIVATE of window: true when it was handled (the caller returns 0).
  // fallback is the control to focus when none was remembered.
  bool OnActivate(HWND window, WPARAM wParam, HWND fallback);
  // WM_SETFOCUS of window itself: passes the focus on to the control.
  bool OnSetFocus(HWND window, HWND fallback);

 private:
  HWND saved_ = nullptr;
};

// The object a window carries: the one handed to CreateWindowExW, kept with
// the window when it is made (WM_NCCREATE); nullptr for the messages that
// come before.
template <class Window>
Window* WindowObject(HWND hwnd, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<Window*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return self;
  }
  return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace tidwen::win32

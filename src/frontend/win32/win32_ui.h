// What Tidwen's Win32 windows share: twips at the monitor's DPI, the fonts
// they ask for, their colours, the controls' ids and text conversion.
#pragma once

#include "platform/windows/win32.h"

#include <string>
#include <string_view>

namespace tidwen::win32 {

// Layouts are in twips: 1440 to an inch, so 15 to a pixel at 96 DPI and
// fewer per pixel above it.
inline int Twips(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

struct TwipsRect {
  int left, top, width, height;
};

// The Simplified-Chinese faces the windows ask for; where one is missing the
// system substitutes a font of its own choice.
inline constexpr const wchar_t* kSongTi = L"宋体";
inline constexpr const wchar_t* kHuawenZhongsong = L"华文中宋";
inline constexpr const wchar_t* kFangzhengShuti = L"方正舒体";

struct FontSpec {
  const wchar_t* face;
  double points;
  bool bold = false;
  bool italic = false;
};
// The windows' default user-interface font: 宋体 9 pt.
inline constexpr FontSpec kDefaultFont{kSongTi, 9};

// A font of GB2312_CHARSET at a size in points for the DPI. The caller
// deletes it.
HFONT MakeFont(const FontSpec& wanted, UINT dpi);

inline constexpr COLORREF kWindowColor = RGB(255, 192, 128);
inline constexpr COLORREF kFileListColor = RGB(192, 255, 192);
inline constexpr COLORREF kResultListColor = RGB(255, 255, 192);
inline constexpr COLORREF kButtonColor = RGB(192, 64, 0);
// The results' text: the active title bar's colour of the classic scheme the
// layout was drawn in. Today's systems give COLOR_ACTIVECAPTION a pale blue
// that is hard to read on the list's pale yellow.
inline constexpr COLORREF kActiveTitleBarColor = RGB(0, 0, 128);

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

// The caption of both windows.
inline constexpr const wchar_t* kCaption = L"Tidwenv1.1";

// Texts of the model are WTF-8 bytes; the windows show them as UTF-16, lone
// surrogates and all.
std::wstring Wide(std::string_view wtf8);
std::string Narrow(std::wstring_view wide);

// The program's icon at a size, from the executable's resources.
HICON LoadProgramIcon(int size);

// The DPI of a window, or of the primary monitor before there is one.
UINT DpiOf(HWND window);

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

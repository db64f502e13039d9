#include "frontend/win32/win32_ui.h"

#include <cmath>

#include "platform/wtf8.h"

namespace tidwen::win32 {

HFONT MakeFont(const FontSpec& wanted, UINT dpi) {
  LOGFONTW font{};
  // A negative height asks for the character height, as point sizes are.
  font.lfHeight = -static_cast<LONG>(std::lround(wanted.points * dpi / 72.0));
  font.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
  font.lfItalic = wanted.italic ? TRUE : FALSE;
  font.lfCharSet = GB2312_CHARSET;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  lstrcpynW(font.lfFaceName, wanted.face, LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

std::wstring Wide(std::string_view wtf8) {
  std::wstring out;
  if (!AppendFromWtf8(wtf8, out)) {
    // Not WTF-8: show each byte as the code point of its value rather than
    // nothing.
    out.clear();
    for (unsigned char c : wtf8) out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

std::string Narrow(std::wstring_view wide) { return ToWtf8(wide); }

HICON LoadProgramIcon(int size) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"IDI_ICON1", IMAGE_ICON, size,
                                       size, LR_DEFAULTCOLOR | LR_SHARED));
}

UINT DpiOf(HWND window) {
  if (window) {
    const UINT dpi = GetDpiForWindow(window);
    if (dpi) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace tidwen::win32

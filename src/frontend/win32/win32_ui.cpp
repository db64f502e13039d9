#include "frontend/win32/win32_ui.h"

#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/wtf8.h"

namespace tidwen::win32 {

HFONT MakeFont(const frontend::FontSpec& wanted, UINT dpi) {
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
  lstrcpynW(font.lfFaceName, Wide(wanted.face).c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

TextInk InkOf(HDC dc, std::wstring_view text) {
  const auto extent = [dc](std::wstring_view part) {
    SIZE size{};
    GetTextExtentPoint32W(dc, part.data(), static_cast<int>(part.size()), &size);
    return static_cast<int>(size.cx);
  };
  TextInk ink{0, extent(text)};
  if (text.empty()) return ink;
  // The black boxes of the first and the last letter, as the font draws them.
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  GLYPHMETRICS first{}, last{};
  if (GetGlyphOutlineW(dc, text.front(), GGO_METRICS, &first, 0, nullptr, &identity) != GDI_ERROR)
    ink.left = std::min(0, static_cast<int>(first.gmptGlyphOrigin.x));
  if (GetGlyphOutlineW(dc, text.back(), GGO_METRICS, &last, 0, nullptr, &identity) != GDI_ERROR) {
    const int lastOrigin = extent(text.substr(0, text.size() - 1));
    ink.right = std::max(ink.right, lastOrigin + static_cast<int>(last.gmptGlyphOrigin.x) +
                                        static_cast<int>(last.gmBlackBoxX));
  }
  return ink;
}

int ControlIdOf(const frontend::ControlDescription& control) {
  static constexpr std::pair<std::string_view, int> kIds[] = {
      {"Drive1", kDrive1},     {"Dir1", kDir1},         {"File1", kFile1},
      {"Frame1", kFrame1},     {"Label1", kLabel1},     {"List2", kList2},
      {"Label3", kLabel3},     {"Label4", kLabel4},     {"List1", kList1},
      {"List3", kList3},       {"Picture1", kPicture1}, {"Label2", kLabel2},
      {"Command5", kCommand5}, {"Command4", kCommand4}, {"Command3", kCommand3},
      {"Command2", kCommand2}, {"Command1", kCommand1}, {"Label5", kLabel5},
      {"Label6", kLabel6},     {"Command6", kCommand6}, {"Line1", kLine1}};
  if (control.name == "Frame1" && control.index == 1) return kFrame1Rule1;
  for (const auto& [name, id] : kIds) {
    if (name == control.name) return id;
  }
  return 0;
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

// The logo: a JPEG among the executable's resources, decoded by the
// system's picture loader.
HBITMAP LoadLogo() {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, L"LOGO", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return nullptr;
  const DWORD size = SizeofResource(module, found);
  const void* bytes = LockResource(LoadResource(module, found));
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!bytes || !memory) return nullptr;
  CopyMemory(GlobalLock(memory), bytes, size);
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  HBITMAP result = nullptr;
  if (SUCCEEDED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    IPicture* picture = nullptr;
    if (SUCCEEDED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                 reinterpret_cast<void**>(&picture)))) {
      OLE_HANDLE handle = 0;
      if (SUCCEEDED(picture->get_Handle(&handle)))
        result =
            static_cast<HBITMAP>(CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)),
                                           IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
      picture->Release();
    }
    stream->Release();
  } else {
    GlobalFree(memory);
  }
  return result;
}

bool FocusMemory::OnActivate(HWND window, WPARAM wParam, HWND fallback) {
  if (LOWORD(wParam) == WA_INACTIVE) {
    const HWND focus = GetFocus();
    if (focus && IsChild(window, focus)) saved_ = focus;
    return false;
  }
  // A minimised window keeps no focus on a control.
  if (HIWORD(wParam) != 0) return false;
  return OnSetFocus(window, fallback);
}

bool FocusMemory::OnSetFocus(HWND window, HWND fallback) {
  HWND target = saved_;
  if (!target || !IsChild(window, target) || !IsWindowVisible(target) || !IsWindowEnabled(target))
    target = fallback;
  if (!target) return false;
  SetFocus(target);
  return true;
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

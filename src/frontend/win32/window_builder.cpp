#include "frontend/win32/window_builder.h"

#include <oleacc.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "frontend/win32/container_box.h"
#include "frontend/win32/win32_ui.h"

namespace tidwen::win32 {

namespace {

using frontend::ControlDescription;
using frontend::ControlKind;
using frontend::Fill;

HWND MakeChild(HWND parent, int id, const wchar_t* windowClass, const std::wstring& text,
               DWORD style, void* create = nullptr) {
  return CreateWindowExW(0, windowClass, text.c_str(),
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), create);
}

HWND MakePlain(const ControlDescription& control, HWND parent, int id, const Pictures& pictures) {
  const std::wstring caption = Wide(control.caption);
  const DWORD tabStop = control.takesFocus ? WS_TABSTOP : 0;
  switch (control.kind) {
    case ControlKind::kLabel:
      // A see-through label sized to its text draws itself, so that the
      // ink of a leaning letter beyond its advance is painted too.
      return MakeChild(parent, id, L"STATIC", caption,
                       control.sizedToText && control.fill == Fill::kTransparent
                           ? SS_OWNERDRAW
                           : SS_LEFT | SS_NOPREFIX);
    case ControlKind::kButton:
      return MakeChild(parent, id, L"BUTTON", caption, tabStop | BS_OWNERDRAW);
    case ControlKind::kRule:
      return MakeChild(parent, id, L"STATIC", L"", SS_ETCHEDFRAME);
    case ControlKind::kFrame:
    case ControlKind::kPicture: {
      RegisterWindowClasses();
      ContainerArt art;
      if (control.fill == Fill::kColour) art.background = ToColorRef(control.background);
      art.sunkenEdge = control.kind == ControlKind::kFrame;
      if (control.picture == frontend::Picture::kLogo) art.bitmap = pictures.logo;
      if (control.picture == frontend::Picture::kIcon) art.icon = pictures.icon;
      return MakeChild(parent, id, kContainerClass, L"", tabStop, &art);
    }
    default:
      throw std::logic_error("no plain window for " + std::string(control.name));
  }
}

constexpr UINT kKeepPlace = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;

// What a screen reader says for a control: an annotation of its window, as
// a list or a box has no text of its own to read. False when the system
// keeps none.
bool SetAccessibleName(HWND control, std::string_view name) {
  IAccPropServices* services = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IAccPropServices, reinterpret_cast<void**>(&services))))
    return false;
  const HRESULT set = services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT),
                                               CHILDID_SELF, PROPID_ACC_NAME, Wide(name).c_str());
  services->Release();
  return SUCCEEDED(set);
}

}  // namespace

WindowControls::WindowControls(HWND window, const frontend::WindowDescription& layout,
                               Pictures pictures, const ControlMaker& make)
    : window_(window), layout_(layout) {
  for (const ControlDescription& control : layout.controls) {
    if (control.kind == ControlKind::kLine) {
      placed_.push_back({&control, nullptr});
      continue;
    }
    const HWND parent = control.container.empty() ? window : Find(control.container);
    if (!parent) throw std::logic_error("container made after " + std::string(control.name));
    const int id = ControlIdOf(control);
    HWND hwnd = make ? make(control, parent, id) : nullptr;
    if (!hwnd) hwnd = MakePlain(control, parent, id, pictures);
    if (OwnedControl* owner = OwnerOf(hwnd)) {
      owner->SetColours(control.fill == Fill::kColour ? ToColorRef(control.background)
                                                      : GetSysColor(COLOR_WINDOW),
                        control.textColour ? ToColorRef(*control.textColour)
                                           : GetSysColor(COLOR_WINDOWTEXT));
    } else {
      Own(hwnd);
    }
    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    SetWindowLongW(hwnd, GWL_STYLE, control.takesFocus ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    if (!control.accessibleName.empty()) SetAccessibleName(hwnd, control.accessibleName);
    const bool seeThrough = control.fill == Fill::kTransparent;
    SetWindowPos(hwnd, seeThrough ? HWND_BOTTOM : HWND_TOP, 0, 0, 0, 0, kKeepPlace);
    placed_.push_back({&control, hwnd});
  }
}

WindowControls::~WindowControls() {
  for (auto& [wanted, font] : fonts_) DeleteObject(font);
  for (auto& [colour, brush] : brushes_) DeleteObject(brush);
}

HWND WindowControls::Find(std::string_view name, int index) const {
  for (const Placed& p : placed_) {
    if (p.layout->name == name && p.layout->index == index) return p.hwnd;
  }
  return nullptr;
}

const ControlDescription* WindowControls::SpecOf(HWND control) const {
  for (const Placed& p : placed_) {
    if (p.hwnd && p.hwnd == control) return p.layout;
  }
  return nullptr;
}

HFONT WindowControls::FontFor(const frontend::FontSpec& wanted) {
  for (auto& [layout, font] : fonts_) {
    if (layout == wanted) return font;
  }
  HFONT font = MakeFont(wanted, dpi_);
  fonts_.emplace_back(wanted, font);
  return font;
}

void WindowControls::Layout(UINT dpi, DWORD windowStyle) {
  dpi_ = dpi;
  std::vector<std::pair<frontend::FontSpec, HFONT>> old = std::move(fonts_);
  fonts_.clear();
  for (const Placed& p : placed_) {
    if (!p.hwnd) continue;
    const frontend::TwipsRect& r = p.layout->rect;
    HFONT font = FontFor(p.layout->font.value_or(frontend::kDefaultFont));
    SendMessageW(p.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    int left = Twips(r.left, dpi);
    int width = Twips(r.width, dpi);
    int height = Twips(r.height, dpi);
    if (p.layout->sizedToText) {
      // In the font that actually stands in, so that a wider substitute is
      // never clipped.
      const std::wstring text = Wide(p.layout->caption);
      HDC dc = GetDC(p.hwnd);
      HGDIOBJ was = SelectObject(dc, font);
      SIZE size{};
      GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
      width = size.cx;
      height = size.cy;
      if ((GetWindowLongW(p.hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW) {
        // Wide enough for the ink on both sides and a pixel beyond, for
        // smoothing; the text keeps its origin.
        const TextInk ink = InkOf(dc, text);
        left += ink.left - 1;
        width = ink.right - ink.left + 2;
      }
      SelectObject(dc, was);
      ReleaseDC(p.hwnd, dc);
    }
    SetWindowPos(p.hwnd, nullptr, left, Twips(r.top, dpi), width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (p.layout->kind == ControlKind::kPicture) {
      // Its picture at the DPI, as its size is.
      SetContainerDpi(p.hwnd, dpi);
      RedrawWindow(p.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
  }
  for (auto& [wanted, font] : old) DeleteObject(font);
  RECT frame{0, 0, Twips(layout_.width, dpi), Twips(layout_.height, dpi)};
  AdjustWindowRectExForDpi(&frame, windowStyle, FALSE, 0, dpi);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(window_, nullptr, TRUE);
}

HBRUSH WindowControls::Brush(frontend::Rgb colour) {
  for (auto& [c, brush] : brushes_) {
    if (c == colour) return brush;
  }
  HBRUSH brush = CreateSolidBrush(ToColorRef(colour));
  brushes_.emplace_back(colour, brush);
  return brush;
}

LRESULT WindowControls::ColourStatic(HDC dc, HWND control) {
  const ControlDescription* layout = SpecOf(control);
  SetTextColor(dc, layout && layout->textColour ? ToColorRef(*layout->textColour)
                                                : GetSysColor(COLOR_WINDOWTEXT));
  if (layout && layout->fill == Fill::kTransparent) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  }
  if (layout && layout->fill == Fill::kColour) {
    SetBkColor(dc, ToColorRef(layout->background));
    return reinterpret_cast<LRESULT>(Brush(layout->background));
  }
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

std::optional<LRESULT> WindowControls::Reflected(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item.CtlType == ODT_STATIC) {
        DrawLabel(item);
      } else {
        DrawButton(item);
      }
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      return ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    default:
      return std::nullopt;
  }
}

bool WindowControls::EraseWindow(HDC dc) {
  if (layout_.fill != Fill::kColour) return false;
  RECT client;
  GetClientRect(window_, &client);
  FillRect(dc, &client, Brush(layout_.background));
  return true;
}

void WindowControls::PaintLines(HDC dc) const {
  for (const Placed& p : placed_) {
    if (p.layout->kind != ControlKind::kLine) continue;
    const frontend::TwipsRect& r = p.layout->rect;
    HPEN pen = CreatePen(PS_SOLID, 1, ToColorRef(p.layout->textColour.value_or(frontend::Rgb{})));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, Twips(r.left, dpi_), Twips(r.top, dpi_), nullptr);
    LineTo(dc, Twips(r.left + r.width, dpi_), Twips(r.top + r.height, dpi_));
    SelectObject(dc, old);
    DeleteObject(pen);
  }
}

void WindowControls::DrawLabel(const DRAWITEMSTRUCT& item) {
  // See-through: only the text, from its origin, ink and all.
  wchar_t caption[64] = {};
  const int length = GetWindowTextW(item.hwndItem, caption, 64);
  HDC dc = item.hDC;
  ColourStatic(dc, item.hwndItem);
  HGDIOBJ was =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
  const TextInk ink = InkOf(dc, std::wstring_view(caption, static_cast<std::size_t>(length)));
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, item.rcItem.left - ink.left + 1, item.rcItem.top, caption, length);
  SelectObject(dc, was);
}

void WindowControls::DrawButton(const DRAWITEMSTRUCT& item) {
  const ControlDescription* layout = SpecOf(item.hwndItem);
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  FillRect(dc, &rect,
           layout && layout->fill == Fill::kColour ? Brush(layout->background)
                                                   : GetSysColorBrush(COLOR_BTNFACE));
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  DrawEdge(dc, &rect, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  wchar_t caption[64] = {};
  const int length = GetWindowTextW(item.hwndItem, caption, 64);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, layout && layout->textColour ? ToColorRef(*layout->textColour)
                                                : GetSysColor(COLOR_BTNTEXT));
  RECT text = rect;
  if (pressed) OffsetRect(&text, 1, 1);
  DrawTextW(dc, caption, length, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) {
    InflateRect(&rect, -3, -3);
    DrawFocusRect(dc, &rect);
  }
}

HWND WindowControls::NextTabStop(HWND from, bool backwards) const {
  std::vector<HWND> order;
  for (const ControlDescription* control : frontend::TabOrder(layout_)) {
    for (const Placed& p : placed_) {
      if (p.layout == control && p.hwnd) order.push_back(p.hwnd);
    }
  }
  if (order.empty()) return nullptr;
  // The control that holds the focus, or holds the window that does.
  std::ptrdiff_t at = -1;
  for (HWND w = from; w && w != window_ && at < 0; w = GetParent(w)) {
    const auto found = std::find(order.begin(), order.end(), w);
    if (found != order.end()) at = found - order.begin();
  }
  const auto count = static_cast<std::ptrdiff_t>(order.size());
  if (at < 0) at = backwards ? 0 : count - 1;
  for (std::ptrdiff_t step = 1; step <= count; ++step) {
    const std::ptrdiff_t i = ((at + (backwards ? -step : step)) % count + count) % count;
    // Shown itself, whether or not the window is shown yet.
    const bool shown = (GetWindowLongW(order[i], GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown && IsWindowEnabled(order[i])) return order[i];
  }
  return nullptr;
}

bool WindowControls::HandleTab(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
  if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
  const LRESULT wants =
      SendMessageW(message.hwnd, WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&message));
  if (wants & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) return false;
  if (const HWND next = NextTabStop(GetFocus(), GetKeyState(VK_SHIFT) < 0)) SetFocus(next);
  return true;
}

}  // namespace tidwen::win32

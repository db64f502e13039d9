#include "frontend/win32/controls.h"

#include <algorithm>
#include <climits>

#include <windowsx.h>

#include "frontend/win32/win32_ui.h"

namespace tidwen::win32 {

namespace {

const wchar_t* kSelfProperty = L"Tidwen.CheckListBox";

}  // namespace

CheckListBox::CheckListBox(HWND parent, int id, bool checkBoxes, RepaintPacer& pacer)
    : hwnd_(CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VSCROLL |
                                LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_NODATA | LBS_NOINTEGRALHEIGHT,
                            0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr)),
      checkBoxes_(checkBoxes),
      pacer_(pacer) {
  SetPropW(hwnd_, kSelfProperty, this);
  Own(hwnd_);
  baseProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CheckListBox::Proc)));
  SetColours(GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT));
}

CheckListBox::~CheckListBox() {
  pacer_.Forget(*this);
  if (IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(baseProc_));
    RemovePropW(hwnd_, kSelfProperty);
  }
  if (backgroundBrush_) DeleteObject(backgroundBrush_);
}

std::optional<LRESULT> CheckListBox::Reflected(UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_DRAWITEM) return std::nullopt;
  DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
  return TRUE;
}

void CheckListBox::SetColours(COLORREF background, COLORREF text) {
  background_ = background;
  text_ = text;
  if (backgroundBrush_) DeleteObject(backgroundBrush_);
  backgroundBrush_ = CreateSolidBrush(background);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void CheckListBox::UpdateItemHeight() {
  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  SendMessageW(hwnd_, LB_SETITEMHEIGHT, 0, MAKELPARAM(metrics.tmHeight + 2, 0));
}

void CheckListBox::SetVisible(bool visible) {
  if (visible) Sync();
  ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

bool CheckListBox::Visible() const { return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

void CheckListBox::AddItem(std::string_view text) {
  items_.Append(text);
  countStale_ = true;
}

void CheckListBox::AddItem(std::string_view text, const FileStamp& stamp) {
  items_.Append(text, stamp);
  countStale_ = true;
}

void CheckListBox::AddPath(const ArenaPath& path, const FileStamp& stamp) {
  items_.AppendPath(path, stamp);
  countStale_ = true;
}

void CheckListBox::AddItem(std::string_view text, std::int64_t index) {
  items_.Insert(index, text);
  countStale_ = true;
}

void CheckListBox::SetSelected(std::int64_t i, bool selected) {
  items_.SetSelected(i, selected);
  // One repaint for however many marks change, at Sync.
  paintStale_ = true;
}

void CheckListBox::RemoveItem(std::int64_t i) {
  items_.Remove(i);
  countStale_ = true;
}

void CheckListBox::Clear() {
  items_.Clear();
  countStale_ = true;
}

void CheckListBox::Refresh() { pacer_.Request(*this); }

void CheckListBox::PaintNow() {
  Sync();
  UpdateWindow(hwnd_);
}

void CheckListBox::Sync() {
  if (countStale_) {
    const int count = static_cast<int>(std::min<std::int64_t>(items_.Count(), INT_MAX));
    // Setting the count puts the box back to its top; keep where it was.
    const int top = static_cast<int>(SendMessageW(hwnd_, LB_GETTOPINDEX, 0, 0));
    const int caret = static_cast<int>(SendMessageW(hwnd_, LB_GETCARETINDEX, 0, 0));
    SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd_, LB_SETCOUNT, count, 0);
    if (count > 0) {
      if (caret >= 0) SendMessageW(hwnd_, LB_SETCARETINDEX, std::min(caret, count - 1), FALSE);
      SendMessageW(hwnd_, LB_SETTOPINDEX, std::min(top, count - 1), 0);
    }
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    countStale_ = false;
    paintStale_ = true;
  }
  if (paintStale_) {
    InvalidateRect(hwnd_, nullptr, TRUE);
    paintStale_ = false;
  }
}

void CheckListBox::Toggle(int index) {
  if (index < 0 || index >= items_.Count()) return;
  items_.SetSelected(index, !items_.Selected(index));
  RECT rect;
  if (SendMessageW(hwnd_, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect)) != LB_ERR)
    InvalidateRect(hwnd_, &rect, FALSE);
}

void CheckListBox::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  const bool chosen = (item.itemState & ODS_SELECTED) != 0;
  const COLORREF back = chosen ? GetSysColor(COLOR_HIGHLIGHT) : background_;
  const COLORREF fore = chosen ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text_;
  HBRUSH brush = CreateSolidBrush(back);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
  const int index = static_cast<int>(item.itemID);
  if (index < 0 || index >= items_.Count()) {
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &rect);
    return;
  }
  const int height = rect.bottom - rect.top;
  int textLeft = rect.left + 2;
  if (checkBoxes_) {
    const int box = std::max(height - 4, 6);
    RECT check{rect.left + 2, rect.top + (height - box) / 2, rect.left + 2 + box,
               rect.top + (height - box) / 2 + box};
    DrawFrameControl(dc, &check, DFC_BUTTON,
                     DFCS_BUTTONCHECK | DFCS_FLAT | (items_.Selected(index) ? DFCS_CHECKED : 0));
    textLeft = check.right + 3;
  }
  const std::wstring text = Wide(items_.Text(index));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, fore);
  RECT textRect{textLeft, rect.top, rect.right, rect.bottom};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &rect);
}

std::int64_t CheckListBox::IndexAt(int y) const {
  RECT client;
  GetClientRect(hwnd_, &client);
  const int height = static_cast<int>(SendMessageW(hwnd_, LB_GETITEMHEIGHT, 0, 0));
  if (y < 0 || y >= client.bottom || height <= 0) return -1;
  const std::int64_t index = SendMessageW(hwnd_, LB_GETTOPINDEX, 0, 0) + y / height;
  return index < items_.Count() ? index : -1;
}

LRESULT CALLBACK CheckListBox::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<CheckListBox*>(GetPropW(hwnd, kSelfProperty));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_ERASEBKGND: {
      RECT rect;
      GetClientRect(hwnd, &rect);
      FillRect(reinterpret_cast<HDC>(wParam), &rect, self->backgroundBrush_);
      return 1;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      // The box moves its caret first; then the entry under the pointer
      // changes its mark, and only that one.
      const LRESULT result = CallWindowProcW(self->baseProc_, hwnd, message, wParam, lParam);
      if (self->checkBoxes_) {
        const std::int64_t index = self->IndexAt(GET_Y_LPARAM(lParam));
        if (index >= 0) self->Toggle(static_cast<int>(index));
      }
      return result;
    }
    case WM_MOUSEMOVE: {
      const std::int64_t index = self->IndexAt(GET_Y_LPARAM(lParam));
      if (index != self->hover_) {
        self->hover_ = index;
        if (self->onHover_) self->onHover_();
      }
      break;
    }
    case WM_VSCROLL:
      if (LOWORD(wParam) == SB_THUMBTRACK || LOWORD(wParam) == SB_THUMBPOSITION) {
        // The message carries 16 bits of the thumb's place; a list longer
        // than that takes the full place from the scroll bar itself.
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(hwnd, SB_VERT, &info) && info.nTrackPos > 0xFFFF) {
          SendMessageW(hwnd, LB_SETTOPINDEX, info.nTrackPos, 0);
          return 0;
        }
      }
      break;
    case WM_KEYDOWN:
      if (wParam == VK_SPACE && self->checkBoxes_) {
        self->Toggle(static_cast<int>(SendMessageW(hwnd, LB_GETCARETINDEX, 0, 0)));
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == L' ') return 0;
      break;
    case WM_GETDLGCODE:
      // Arrows and Space belong to the list; Tab and Enter to the window.
      return CallWindowProcW(self->baseProc_, hwnd, message, wParam, lParam) | DLGC_WANTARROWS |
             DLGC_WANTCHARS;
    default:
      break;
  }
  return CallWindowProcW(self->baseProc_, hwnd, message, wParam, lParam);
}

}  // namespace tidwen::win32

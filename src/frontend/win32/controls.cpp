#include "frontend/win32/controls.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "frontend/common/file_system_rows.h"
#include "frontend/win32/win32_ui.h"
#include "model/runtime_error.h"

namespace tidwen::win32 {

namespace {

HWND MakeChild(HWND parent, int id, const wchar_t* windowClass, DWORD style, DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, windowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
                         0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

// Drives the lister hidden behind a box and catches up when shown.
void ShowBox(HWND hwnd, bool visible, bool& stale, const std::function<void()>& rebuild) {
  if (visible && stale) {
    rebuild();
    stale = false;
  }
  ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

}  // namespace

// ---- StatusLabel ----

StatusLabel::StatusLabel(HWND parent, int id, RepaintPacer& pacer)
    : OneColourControl(WM_CTLCOLORSTATIC),
      hwnd_(MakeChild(parent, id, L"STATIC", SS_LEFT | SS_NOPREFIX)),
      pacer_(pacer) {
  Own(hwnd_);
}

void StatusLabel::SetVisible(bool visible) { ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }
bool StatusLabel::Visible() const { return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

void StatusLabel::SetCaption(std::string_view caption) {
  // A scan sets the caption for every file it tests; the window's text, a
  // round trip to the window system each time, follows at the pacer's rounds
  // and when the handler returns.
  caption_.assign(caption);
  shown_ = false;
}

void StatusLabel::Sync() {
  if (shown_) return;
  shown_ = true;
  SetWindowTextW(hwnd_, Wide(caption_).c_str());
}

void StatusLabel::PaintNow() {
  Sync();
  UpdateWindow(hwnd_);
}

// ---- DriveComboBox ----

DriveComboBox::DriveComboBox(HWND parent, int id, const std::vector<DriveInfo>& drives)
    : OneColourControl(WM_CTLCOLORLISTBOX),
      hwnd_(MakeChild(parent, id, L"COMBOBOX",
                      WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED |
                          CBS_HASSTRINGS)) {
  Own(hwnd_);
  // The drop-down's list asks for its colours too.
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (GetComboBoxInfo(hwnd_, &info)) Own(info.hwndList);
  Reload(drives);
  if (!drives_.empty()) SendMessageW(hwnd_, CB_SETCURSEL, 0, 0);
}

void DriveComboBox::SetItemHeight(int pixels) {
  itemHeight_ = pixels;
  SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), pixels);
  SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, pixels);
}

std::optional<LRESULT> DriveComboBox::Reflected(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = static_cast<UINT>(itemHeight_);
      return TRUE;
    default:
      return OneColourControl::Reflected(message, wParam, lParam);
  }
}

void DriveComboBox::ChooseDrive(char letter) {
  for (std::size_t i = 0; i < drives_.size(); ++i) {
    if (drives_[i].letter == letter) {
      SendMessageW(hwnd_, CB_SETCURSEL, i, 0);
      return;
    }
  }
}

void DriveComboBox::Reload(const std::vector<DriveInfo>& drives) {
  const int chosen = static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
  std::optional<DriveInfo> was;
  if (chosen >= 0 && static_cast<std::size_t>(chosen) < drives_.size()) was = drives_[chosen];
  drives_ = drives;
  SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
  for (const DriveInfo& drive : drives_)
    SendMessageW(hwnd_, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(Wide(frontend::DriveText(drive)).c_str()));
  const int keep = frontend::DriveToKeep(was, drives_);
  if (keep >= 0) SendMessageW(hwnd_, CB_SETCURSEL, keep, 0);
}

void DriveComboBox::SetVisible(bool visible) { ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }
bool DriveComboBox::Visible() const { return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

std::string DriveComboBox::Drive() const {
  const int chosen = static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= drives_.size()) return {};
  return frontend::DriveText(drives_[chosen]);
}

void DriveComboBox::DrawItem(const DRAWITEMSTRUCT& item) const {
  HDC dc = item.hDC;
  const bool chosen = (item.itemState & ODS_SELECTED) && !(item.itemState & ODS_COMBOBOXEDIT);
  HBRUSH brush = CreateSolidBrush(chosen || fill_.Colour() == CLR_INVALID
                                      ? GetSysColor(chosen ? COLOR_HIGHLIGHT : COLOR_WINDOW)
                                      : fill_.Colour());
  FillRect(dc, &item.rcItem, brush);
  DeleteObject(brush);
  if (item.itemID == static_cast<UINT>(-1) || item.itemID >= drives_.size()) return;
  const std::wstring text = Wide(frontend::DriveText(drives_[item.itemID]));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, chosen || text_ == CLR_INVALID
                       ? GetSysColor(chosen ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT)
                       : text_);
  RECT rect = item.rcItem;
  rect.left += 2;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if ((item.itemState & ODS_FOCUS) && (item.itemState & ODS_COMBOBOXEDIT))
    DrawFocusRect(dc, &item.rcItem);
}

// ---- DirListBox ----

DirListBox::DirListBox(HWND parent, int id, DirListControl& lister)
    : OneColourControl(WM_CTLCOLORLISTBOX),
      hwnd_(MakeChild(parent, id, L"LISTBOX",
                      WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                          LBS_HASSTRINGS,
                      WS_EX_CLIENTEDGE)),
      lister_(lister) {
  Own(hwnd_);
}

void DirListBox::SetVisible(bool visible) {
  ShowBox(hwnd_, visible, stale_, [this] { Rebuild(); });
}

bool DirListBox::Visible() const { return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

void DirListBox::SetPath(std::string_view path) {
  lister_.SetPath(path);
  if (Visible()) {
    Rebuild();
  } else {
    stale_ = true;
  }
}

bool DirListBox::OpenSelected() {
  const int chosen = static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= entries_.size()) return false;
  try {
    SetPath(entries_[chosen]);
  } catch (const RuntimeError&) {
    return false;
  }
  return true;
}

void DirListBox::Rebuild() {
  entries_.clear();
  // Each row stepped in by two blanks a level.
  std::vector<std::wstring> lines;
  int opened = -1;
  for (frontend::DirRow& row : frontend::DirRows(lister_)) {
    if (row.open) opened = static_cast<int>(lines.size());
    lines.push_back(std::wstring(2 * static_cast<std::size_t>(row.depth), L' ') + Wide(row.name));
    entries_.push_back(std::move(row.path));
  }
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
  int widest = 0;
  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
  for (const std::wstring& line : lines) {
    SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SIZE size{};
    GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size);
    widest = std::max<int>(widest, size.cx);
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  // Deep paths reach past the edge: scroll to them.
  SendMessageW(hwnd_, LB_SETHORIZONTALEXTENT, widest + 8, 0);
  if (opened >= 0) SendMessageW(hwnd_, LB_SETCURSEL, opened, 0);
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
  stale_ = false;
}

// ---- FileListBox ----

FileListBox::FileListBox(HWND parent, int id, FileListControl& lister)
    : OneColourControl(WM_CTLCOLORLISTBOX),
      hwnd_(MakeChild(parent, id, L"LISTBOX",
                      WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS,
                      WS_EX_CLIENTEDGE)),
      lister_(lister) {
  Own(hwnd_);
}

void FileListBox::SetVisible(bool visible) {
  ShowBox(hwnd_, visible, stale_, [this] { Rebuild(); });
}

bool FileListBox::Visible() const { return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

void FileListBox::SetPath(std::string_view path) {
  lister_.SetPath(path);
  if (Visible()) {
    Rebuild();
  } else {
    stale_ = true;
  }
}

void FileListBox::Rebuild() {
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
  const std::int64_t count = lister_.ListCount();
  for (std::int64_t i = 0; i < count; ++i)
    SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(lister_.List(i)).c_str()));
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
  stale_ = false;
}

}  // namespace tidwen::win32

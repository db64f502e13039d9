// The main window's controls as Win32 windows, each implementing the
// control interface the logic uses. Each answers the drawing, measuring
// and colour messages about its own window, which the parent reflects to
// it (OwnedControl); the parent passes on the notifications.
#pragma once

#include "platform/windows/win32.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "frontend/common/repaint_pacer.h"
#include "frontend/win32/owned_control.h"
#include "model/check_list.h"
#include "model/controls.h"
#include "platform/platform.h"

namespace tidwen::win32 {

// A list over the model's own CheckList: an owner-drawn list box without
// data of its own (LBS_NODATA), so a million entries cost the box nothing.
// With check boxes, a click or Space toggles the entry under it. Changes made
// by the logic reach the box at the pacer's rounds and at Sync().
class CheckListBox : public ListControl, public PacedControl, public OwnedControl {
 public:
  CheckListBox(HWND parent, int id, bool checkBoxes, RepaintPacer& pacer);
  ~CheckListBox() override;
  CheckListBox(const CheckListBox&) = delete;
  CheckListBox& operator=(const CheckListBox&) = delete;

  HWND Hwnd() const { return hwnd_; }
  void SetColours(COLORREF background, COLORREF text) override;
  std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Item height from the box's font, after a font or DPI change.
  void UpdateItemHeight();

  void SetVisible(bool visible) override;
  bool Visible() const override;
  void AddItem(std::string_view text) override;
  void AddItem(std::string_view text, const FileStamp& stamp) override;
  void AddItem(std::string_view text, std::int64_t index) override;
  void AddPath(const ArenaPath& path, const FileStamp& stamp) override;
  std::string_view List(std::int64_t i) const override { return items_.Text(i); }
  FileStamp Stamp(std::int64_t i) const override { return items_.Stamp(i); }
  void CopyEntry(std::int64_t i, CheckList& to) const override { to.AppendEntry(items_, i); }
  std::int64_t ListCount() const override { return items_.Count(); }
  bool Selected(std::int64_t i) const override { return items_.Selected(i); }
  void SetSelected(std::int64_t i, bool selected) override;
  void RemoveItem(std::int64_t i) override;
  void Clear() override;
  void Refresh() override;

  // Brings the box up to the list: its count, and a repaint of what changed.
  void Sync();
  void PaintNow() override;
  COLORREF Background() const { return background_; }
  // Changes one entry's mark and repaints it, as a click does.
  void Toggle(int index);
  // The entry under the pointer; -1 for none.
  std::int64_t HoverIndex() const { return hover_; }
  // Runs when the pointer moves onto another entry.
  void SetHoverHook(std::function<void()> hook) { onHover_ = std::move(hook); }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  // The entry at a point of the box; -1 for none. Worked out from the top
  // entry, as LB_ITEMFROMPOINT gives only 16 bits of the index.
  std::int64_t IndexAt(int y) const;

  HWND hwnd_;
  WNDPROC baseProc_;
  std::int64_t hover_ = -1;
  std::function<void()> onHover_;
  bool checkBoxes_;
  RepaintPacer& pacer_;
  CheckList items_;
  bool countStale_ = false;
  bool paintStale_ = false;
  COLORREF background_ = RGB(255, 255, 255);
  COLORREF text_ = RGB(0, 0, 0);
  HBRUSH backgroundBrush_ = nullptr;
  void DrawItem(const DRAWITEMSTRUCT& item);
};

// The status line: a static text whose caption the logic sets.
class StatusLabel : public LabelControl, public PacedControl, public OneColourControl {
 public:
  StatusLabel(HWND parent, int id, RepaintPacer& pacer);
  ~StatusLabel() override { pacer_.Forget(*this); }
  HWND Hwnd() const { return hwnd_; }
  void SetVisible(bool visible) override;
  bool Visible() const override;
  void SetCaption(std::string_view caption) override;
  std::string Caption() const override { return caption_; }
  void Refresh() override { pacer_.Request(*this); }
  void PaintNow() override;
  // Shows the caption last set, if the window does not show it yet.
  void Sync();

 private:
  HWND hwnd_;
  RepaintPacer& pacer_;
  std::string caption_;
  bool shown_ = true;
};

// The drive chooser: one entry per drive, in the platform's words.
class DriveComboBox : public DriveListControl, public OneColourControl {
 public:
  DriveComboBox(HWND parent, int id, const std::vector<DriveInfo>& drives);
  HWND Hwnd() const { return hwnd_; }
  void ChooseDrive(char letter);
  // Shows a table read again; the chosen drive stays chosen while it is the
  // same volume, and when it is gone none is chosen, so that nothing else is
  // scanned in its place.
  void Reload(const std::vector<DriveInfo>& drives);
  void SetVisible(bool visible) override;
  bool Visible() const override;
  // The chosen entry's text; empty when none is chosen.
  std::string Drive() const override;
  // The height of the field and of the entries, in pixels.
  void SetItemHeight(int pixels);
  // Draws and measures its entries; the field and the drop-down behind
  // them take the background.
  std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void DrawItem(const DRAWITEMSTRUCT& item) const;
  HWND hwnd_;
  std::vector<DriveInfo> drives_;
  int itemHeight_ = 16;
};

// The directory list: the open directory's ancestors from the root down,
// then its subdirectories. A double click or Enter opens the entry. While
// hidden it only passes the logic's calls to the lister, and catches up
// when shown again.
class DirListBox : public DirListControl, public OneColourControl {
 public:
  DirListBox(HWND parent, int id, DirListControl& lister);
  HWND Hwnd() const { return hwnd_; }
  void SetVisible(bool visible) override;
  bool Visible() const override;
  void SetPath(std::string_view path) override;
  std::string Path() const override { return lister_.Path(); }
  std::int64_t ListCount() const override { return lister_.ListCount(); }
  std::string List(std::int64_t i) const override { return lister_.List(i); }
  std::string ListName(std::int64_t i) const override { return lister_.ListName(i); }
  // Opens the chosen entry; false when it cannot be listed (the list then
  // stays as it was).
  bool OpenSelected();
  // The full path of each entry as shown.
  const std::vector<std::string>& Entries() const { return entries_; }

 private:
  void Rebuild();
  HWND hwnd_;
  DirListControl& lister_;
  std::vector<std::string> entries_;
  bool stale_ = true;
};

// The file list: the files of the directory the lister last opened.
class FileListBox : public FileListControl, public OneColourControl {
 public:
  FileListBox(HWND parent, int id, FileListControl& lister);
  HWND Hwnd() const { return hwnd_; }
  void SetVisible(bool visible) override;
  bool Visible() const override;
  void SetPath(std::string_view path) override;
  std::string Path() const override { return lister_.Path(); }
  std::int64_t ListCount() const override { return lister_.ListCount(); }
  std::string_view List(std::int64_t i) const override { return lister_.List(i); }

 private:
  void Rebuild();
  HWND hwnd_;
  FileListControl& lister_;
  bool stale_ = true;
};

}  // namespace tidwen::win32

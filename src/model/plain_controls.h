// Controls that keep their state as plain data and paint nothing: the
// headless scanner uses them, and so do tests that need no window.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "model/check_list.h"
#include "model/controls.h"

namespace tidwen {

// A list control over a CheckList, with nothing to paint.
class PlainListControl : public ListControl {
 public:
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  void AddItem(std::string_view text) override { items_.Append(text); }
  void AddItem(std::string_view text, const FileStamp& stamp) override {
    items_.Append(text, stamp);
  }
  void AddItem(std::string_view text, std::int64_t index) override { items_.Insert(index, text); }
  void AddPath(const ArenaPath& path, const FileStamp& stamp) override {
    items_.AppendPath(path, stamp);
  }
  std::string_view List(std::int64_t i) const override { return items_.Text(i); }
  FileStamp Stamp(std::int64_t i) const override { return items_.Stamp(i); }
  std::int64_t ListCount() const override { return items_.Count(); }
  void CopyEntry(std::int64_t i, CheckList& to) const override { to.AppendEntry(items_, i); }
  bool Selected(std::int64_t i) const override { return items_.Selected(i); }
  void SetSelected(std::int64_t i, bool selected) override { items_.SetSelected(i, selected); }
  void RemoveItem(std::int64_t i) override { items_.Remove(i); }
  void Clear() override { items_.Clear(); }
  void Refresh() override {}

  const CheckList& Items() const { return items_; }

 private:
  CheckList items_;
  bool visible_ = true;
};

// A label that keeps its caption, with nothing to paint.
class PlainLabel : public LabelControl {
 public:
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  void SetCaption(std::string_view caption) override { caption_.assign(caption); }
  std::string Caption() const override { return caption_; }
  void Refresh() override {}

 private:
  std::string caption_;
  bool visible_ = true;
};

// A drive chooser whose choice is set by its owner.
class PlainDriveList : public DriveListControl {
 public:
  explicit PlainDriveList(std::string drive = "c:") : drive_(std::move(drive)) {}
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  std::string Drive() const override { return drive_; }
  void SetDrive(std::string drive) { drive_ = std::move(drive); }

 private:
  std::string drive_;
  bool visible_ = true;
};

}  // namespace tidwen

// The list controls of the main window: a list view over a checkable list of
// byte texts, built to take a million entries while a scan adds them.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <cstdint>
#include <functional>
#include <string_view>

#include "frontend/common/repaint_pacer.h"
#include "model/check_list.h"
#include "model/controls.h"

namespace tidwen::qt {

// The entries of one list, as Qt sees them. The model owns the texts; the
// rows it has announced to its views (RowCount) may lag behind the entries it
// holds (Items().Count()) while entries are being added, so that a burst of
// appends costs one insertion signal rather than one per entry.
class CheckListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  // With checkable, every row shows a check box whose mark is the entry's
  // selected flag.
  explicit CheckListModel(bool checkable, QObject* parent = nullptr);

  const CheckList& Items() const { return items_; }
  bool Checkable() const { return checkable_; }

  // Gives an entry's tooltip from its text, asked only when a tooltip is
  // about to show; without one, the tooltip is the text as shown.
  using ToolTipProvider = std::function<QString(std::string_view text)>;
  void SetToolTipProvider(ToolTipProvider provider) { toolTip_ = std::move(provider); }

  // Adds at the end without telling the views; Announce() tells them.
  void Append(std::string_view text, const FileStamp& stamp);
  void AppendPath(const ArenaPath& path, const FileStamp& stamp);
  // These announce what is pending first, then change and signal at once.
  // An index outside the list throws RuntimeError and changes nothing.
  void Insert(std::int64_t index, std::string_view text);
  void Remove(std::int64_t index);
  void Clear();
  // Changes a flag; the views hear of it at the next Announce().
  void SetSelected(std::int64_t index, bool selected);

  // Tells the views about appended rows and changed flags.
  void Announce();
  bool HasPending() const { return PendingRows() > 0 || FlagsChanged(); }
  // Appended rows not yet announced, and whether any announced row's flag
  // changed since the last Announce().
  std::int64_t PendingRows() const;
  bool FlagsChanged() const { return dirtyFirst_ >= 0; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  bool Announced(int row) const;

  CheckList items_;
  bool checkable_;
  ToolTipProvider toolTip_;
  std::int64_t announced_ = 0;
  // Rows whose flags changed since the last Announce(); -1 when none.
  std::int64_t dirtyFirst_ = -1;
  std::int64_t dirtyLast_ = -1;
};

// A list control as a widget. Appends are stored at once and reach the screen
// at the next paced Refresh() or when control returns to the event loop,
// whichever comes first (while the pacer is held, at its next round alone);
// every other change reaches the view at once. While
// the page shown is full, entries appended below it change nothing on it but
// the scroll bar: a Refresh() then moves and repaints the scroll bar alone,
// and the view takes the new rows (a layout of every row) once control
// returns to the event loop. A click on an entry of a checkable list toggles
// that entry's check mark alone. The list scrolls by entries.
class ListBox : public QListView, public ListControl, private PacedControl {
  Q_OBJECT

 public:
  ListBox(bool checkable, RepaintPacer& pacer, QWidget* parent = nullptr);
  ~ListBox() override;

  CheckListModel& Model() { return *model_; }

  void SetVisible(bool visible) override { setVisible(visible); }
  bool Visible() const override { return !isHidden(); }
  void AddItem(std::string_view text) override;
  void AddItem(std::string_view text, const FileStamp& stamp) override;
  void AddItem(std::string_view text, std::int64_t index) override;
  void AddPath(const ArenaPath& path, const FileStamp& stamp) override;
  std::string_view List(std::int64_t i) const override { return model_->Items().Text(i); }
  FileStamp Stamp(std::int64_t i) const override { return model_->Items().Stamp(i); }
  void CopyEntry(std::int64_t i, CheckList& to) const override {
    to.AppendEntry(model_->Items(), i);
  }
  std::int64_t ListCount() const override { return model_->Items().Count(); }
  bool Selected(std::int64_t i) const override { return model_->Items().Selected(i); }
  void SetSelected(std::int64_t i, bool selected) override;
  void RemoveItem(std::int64_t i) override;
  void Clear() override;
  void Refresh() override;
  // Tells the view about every change at once.
  void Sync() { model_->Announce(); }

 private:
  void PaintNow() override;
  // Shows pending appends by the scroll bar alone when the page shown cannot
  // change; false, with nothing done, when it might.
  bool ShowGrowthAlone();
  // Announces pending changes once control returns to the event loop.
  void PostAnnounce();

  CheckListModel* model_;
  RepaintPacer& pacer_;
  bool announcePosted_ = false;
};

}  // namespace tidwen::qt

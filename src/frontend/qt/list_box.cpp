#include "frontend/qt/list_box.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <climits>
#include <string>

#include "model/display_text.h"
#include "model/runtime_error.h"

namespace tidwen::qt {

namespace {

QString ToDisplay(std::string_view bytes) { return QString::fromStdString(DisplayText(bytes)); }

// Qt counts rows in int; a list longer than that shows its first INT_MAX
// entries.
int ToRow(std::int64_t n) { return static_cast<int>(std::min<std::int64_t>(n, INT_MAX)); }

// Toggles an entry's check mark on a click anywhere on the entry, not only on
// its check box. A double click counts as two clicks.
class ToggleOnClickDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
    const Qt::ItemFlags flags = index.flags();
    if (!(flags & Qt::ItemIsUserCheckable) || !(flags & Qt::ItemIsEnabled))
      return QStyledItemDelegate::editorEvent(event, model, option, index);
    switch (event->type()) {
      case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !option.rect.contains(mouse->position().toPoint()))
          return false;
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        // The release does the toggling; the press must not do it again.
        return option.rect.contains(static_cast<QMouseEvent*>(event)->position().toPoint());
      default:
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
  }
};

}  // namespace

CheckListModel::CheckListModel(bool checkable, QObject* parent)
    : QAbstractListModel(parent), checkable_(checkable) {}

void CheckListModel::Append(std::string_view text, const FileStamp& stamp) {
  items_.Append(text, stamp);
}

void CheckListModel::AppendPath(const ArenaPath& path, const FileStamp& stamp) {
  items_.AppendPath(path, stamp);
}

void CheckListModel::Insert(std::int64_t index, std::string_view text) {
  if (index < 0 || index > items_.Count())
    throw RuntimeError(kInvalidCall, "list index out of range");
  Announce();
  beginInsertRows(QModelIndex(), ToRow(index), ToRow(index));
  items_.Insert(index, text);
  ++announced_;
  endInsertRows();
}

void CheckListModel::Remove(std::int64_t index) {
  if (index < 0 || index >= items_.Count())
    throw RuntimeError(kInvalidCall, "list index out of range");
  Announce();
  beginRemoveRows(QModelIndex(), ToRow(index), ToRow(index));
  items_.Remove(index);
  --announced_;
  endRemoveRows();
}

void CheckListModel::Clear() {
  beginResetModel();
  items_.Clear();
  announced_ = 0;
  dirtyFirst_ = dirtyLast_ = -1;
  endResetModel();
}

void CheckListModel::SetSelected(std::int64_t index, bool selected) {
  items_.SetSelected(index, selected);
  if (index >= announced_) return;  // shown with its flag when announced
  if (dirtyFirst_ < 0) {
    dirtyFirst_ = dirtyLast_ = index;
  } else {
    dirtyFirst_ = std::min(dirtyFirst_, index);
    dirtyLast_ = std::max(dirtyLast_, index);
  }
}

void CheckListModel::Announce() {
  if (dirtyFirst_ >= 0) {
    const std::int64_t first = dirtyFirst_, last = dirtyLast_;
    dirtyFirst_ = dirtyLast_ = -1;
    emit dataChanged(index(ToRow(first)), index(ToRow(last)), {Qt::CheckStateRole});
  }
  const std::int64_t count = items_.Count();
  if (count > announced_ && announced_ < INT_MAX) {
    beginInsertRows(QModelIndex(), ToRow(announced_), ToRow(count) - 1);
    announced_ = count;
    endInsertRows();
  }
}

std::int64_t CheckListModel::PendingRows() const {
  return std::min<std::int64_t>(items_.Count(), INT_MAX) - announced_;
}

int CheckListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ToRow(announced_);
}

bool CheckListModel::Announced(int row) const {
  return row >= 0 && row < announced_ && row < items_.Count();
}

QVariant CheckListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !Announced(index.row())) return {};
  switch (role) {
    case Qt::ToolTipRole:
      if (toolTip_) return toolTip_(items_.Text(index.row()));
      return ToDisplay(items_.Text(index.row()));
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      return ToDisplay(items_.Text(index.row()));
    case Qt::CheckStateRole:
      if (!checkable_) return {};
      return items_.Selected(index.row()) ? Qt::Checked : Qt::Unchecked;
    default:
      return {};
  }
}

bool CheckListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!checkable_ || role != Qt::CheckStateRole || !index.isValid() || !Announced(index.row()))
    return false;
  items_.SetSelected(index.row(), value.toInt() == Qt::Checked);
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags CheckListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
  if (checkable_) f |= Qt::ItemIsUserCheckable;
  return f;
}

ListBox::ListBox(bool checkable, RepaintPacer& pacer, QWidget* parent)
    : QListView(parent), model_(new CheckListModel(checkable, this)), pacer_(pacer) {
  setModel(model_);
  setItemDelegate(new ToggleOnClickDelegate(this));
  // Every row has the same height, so the view never measures rows one by
  // one: a list of a million entries lays out and scrolls in constant time.
  setUniformItemSizes(true);
  // By entries, whatever the style prefers: a Refresh() during a scan can
  // then move the scroll bar by the number of entries added.
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setSelectionMode(QAbstractItemView::NoSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

ListBox::~ListBox() { pacer_.Forget(*this); }

void ListBox::AddItem(std::string_view text) {
  model_->Append(text, FileStamp{});
  PostAnnounce();
}

void ListBox::AddItem(std::string_view text, const FileStamp& stamp) {
  model_->Append(text, stamp);
  PostAnnounce();
}

void ListBox::AddItem(std::string_view text, std::int64_t index) { model_->Insert(index, text); }

void ListBox::AddPath(const ArenaPath& path, const FileStamp& stamp) {
  model_->AppendPath(path, stamp);
  PostAnnounce();
}

void ListBox::SetSelected(std::int64_t i, bool selected) {
  model_->SetSelected(i, selected);
  PostAnnounce();
}

void ListBox::RemoveItem(std::int64_t i) { model_->Remove(i); }

void ListBox::Clear() { model_->Clear(); }

void ListBox::Refresh() { pacer_.Request(*this); }

void ListBox::PaintNow() {
  // A hidden list has nothing on screen to bring up to date.
  if (!isVisible()) {
    model_->Announce();
    return;
  }
  if (ShowGrowthAlone()) return;
  model_->Announce();
  // The view lays new rows out from a timer; no timer runs while a handler
  // keeps the event loop waiting, so lay them out here.
  executeDelayedItemsLayout();
  viewport()->repaint();
}

bool ListBox::ShowGrowthAlone() {
  const std::int64_t pending = model_->PendingRows();
  if (pending <= 0 || model_->FlagsChanged()) return false;
  // Bring the scroll bar up to date with the rows already announced; a
  // no-op unless a layout is still waiting for its timer.
  executeDelayedItemsLayout();
  QScrollBar& bar = *verticalScrollBar();
  // Scrolling by entries, the top row is the bar's value and the bar's
  // maximum is the row count less the rows that fit whole. Below the maximum
  // an announced row covers the bottom of the page, so every new row lies
  // below it. A bar not yet on screen would appear and narrow the page.
  if (verticalScrollMode() != QAbstractItemView::ScrollPerItem || !bar.isVisible() ||
      bar.value() >= bar.maximum()) {
    return false;
  }
  bar.setMaximum(static_cast<int>(std::min<std::int64_t>(bar.maximum() + pending, INT_MAX)));
  bar.repaint();
  return true;
}

void ListBox::PostAnnounce() {
  // While a command runs on a worker the event loop turns all along, and
  // announcing at each turn would lay out every row of a long list as
  // often: the pacer's rounds announce instead.
  if (pacer_.Held()) {
    pacer_.Request(*this);
    return;
  }
  if (announcePosted_) return;
  announcePosted_ = true;
  // Bound to the model, so the call is dropped if the list goes away first.
  QMetaObject::invokeMethod(
      model_,
      [this] {
        announcePosted_ = false;
        model_->Announce();
      },
      Qt::QueuedConnection);
}

}  // namespace tidwen::qt

#include "frontend/qt/file_system_boxes.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QByteArray>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMetaObject>
#include <QStyle>
#include <algorithm>
#include <climits>
#include <optional>

#include "frontend/common/file_system_rows.h"
#include "model/display_text.h"
#include "model/runtime_error.h"

namespace tidwen::qt {

namespace {

QString ToDisplay(std::string_view bytes) { return QString::fromStdString(DisplayText(bytes)); }

QByteArray ToBytes(std::string_view bytes) {
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The full path of each entry, as bytes.
constexpr int kPathRole = Qt::UserRole;

}  // namespace

DriveListBox::DriveListBox(const std::vector<DriveInfo>& drives, QWidget* parent)
    : QComboBox(parent) {
  Reload(drives);
}

void DriveListBox::Reload(const std::vector<DriveInfo>& drives) {
  const int chosen = currentIndex();
  const std::optional<DriveInfo> before =
      chosen >= 0 && static_cast<std::size_t>(chosen) < drives_.size()
          ? std::optional<DriveInfo>(drives_[static_cast<std::size_t>(chosen)])
          : std::nullopt;
  const bool first = drives_.empty() && count() == 0;
  clear();
  drives_ = drives;
  for (const DriveInfo& d : drives_) {
    const std::string text = frontend::DriveText(d);
    addItem(ToDisplay(text), ToBytes(text));
  }
  setCurrentIndex(first && !drives_.empty() ? 0 : frontend::DriveToKeep(before, drives_));
  // The drop-down is as wide as its longest entry, so that every mount
  // point can be read whole.
  int widest = 0;
  for (int i = 0; i < count(); ++i) {
    widest = std::max(widest, view()->fontMetrics().horizontalAdvance(itemText(i)));
  }
  view()->setMinimumWidth(widest + 2 * view()->frameWidth() +
                          style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
}

void DriveListBox::showPopup() {
  if (beforePopup_) beforePopup_();
  QComboBox::showPopup();
}

void DriveListBox::ChooseDrive(char letter) {
  for (int i = 0; i < count(); ++i) {
    const QByteArray text = itemData(i).toByteArray();
    if (!text.isEmpty() && (text[0] | 0x20) == (letter | 0x20)) {
      setCurrentIndex(i);
      return;
    }
  }
}

std::string DriveListBox::Drive() const {
  const QByteArray text = currentData().toByteArray();
  return std::string(text.constData(), static_cast<std::size_t>(text.size()));
}

DirListBox::DirListBox(DirListControl& lister, QWidget* parent)
    : QTreeWidget(parent), lister_(lister) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  // Deep paths stay readable: each level steps in by a little, the column
  // is as wide as its widest entry, and a scroll bar reaches the rest.
  setIndentation(6);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setUniformRowHeights(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(this, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item, int) { OpenEntry(item); });
}

void DirListBox::SetVisible(bool visible) {
  setVisible(visible);
  if (visible && stale_) Rebuild();
}

void DirListBox::SetPath(std::string_view path) {
  lister_.SetPath(path);
  stale_ = true;
  if (!isHidden()) Rebuild();
}

void DirListBox::showEvent(QShowEvent* event) {
  if (stale_) Rebuild();
  QTreeWidget::showEvent(event);
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
    OpenEntry(currentItem());
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void DirListBox::OpenEntry(QTreeWidgetItem* item) {
  if (!item) return;
  const QByteArray path = item->data(0, kPathRole).toByteArray();
  // The entry belongs to the list about to be rebuilt: rebuild once the view
  // has finished with the event that chose it.
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        if (mayOpen_ && !mayOpen_()) return;
        try {
          SetPath(std::string_view(path.constData(), static_cast<std::size_t>(path.size())));
        } catch (const RuntimeError&) {
          // The directory has gone or cannot be read: stay where we are.
        }
        if (afterOpen_) afterOpen_();
      },
      Qt::QueuedConnection);
}

void DirListBox::Rebuild() {
  stale_ = false;
  clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  // Each row under the open row before it: the rows' depth is the tree's.
  QTreeWidgetItem* opened = nullptr;
  for (const frontend::DirRow& row : frontend::DirRows(lister_)) {
    auto* item = opened ? new QTreeWidgetItem(opened, {ToDisplay(row.name)})
                        : new QTreeWidgetItem(this, {ToDisplay(row.name)});
    item->setIcon(0, row.open ? open : closed);
    item->setData(0, kPathRole, ToBytes(row.path));
    if (row.open) opened = item;
  }
  if (!opened) return;
  expandAll();
  setCurrentItem(opened);
  scrollToItem(opened);
}

FileNamesModel::FileNamesModel(const FileListControl& lister, QObject* parent)
    : QAbstractListModel(parent), lister_(lister) {}

void FileNamesModel::Reload() {
  beginResetModel();
  rows_ = static_cast<int>(std::min<std::int64_t>(lister_.ListCount(), INT_MAX));
  endResetModel();
}

int FileNamesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

QVariant FileNamesModel::data(const QModelIndex& index, int role) const {
  // The lister may have moved on since the last Reload; never read past it.
  if (!index.isValid() || index.row() >= rows_ || index.row() >= lister_.ListCount()) return {};
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
    return ToDisplay(lister_.List(index.row()));
  return {};
}

FileListBox::FileListBox(FileListControl& lister, QWidget* parent)
    : QListView(parent), lister_(lister), model_(new FileNamesModel(lister, this)) {
  setModel(model_);
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void FileListBox::SetVisible(bool visible) {
  setVisible(visible);
  if (visible) CatchUp();
}

void FileListBox::SetPath(std::string_view path) {
  lister_.SetPath(path);
  stale_ = true;
  if (!isHidden()) CatchUp();
}

void FileListBox::showEvent(QShowEvent* event) {
  CatchUp();
  QListView::showEvent(event);
}

void FileListBox::CatchUp() {
  if (!stale_) return;
  stale_ = false;
  model_->Reload();
}

}  // namespace tidwen::qt

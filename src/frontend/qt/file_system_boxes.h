// The drive, directory and file lists of the main window. The directory and
// file lists show what the platform's listers list; the scan moves those
// listers through every directory of a drive, so the widgets follow them
// only while they are shown, and catch up when shown again.
#pragma once

#include <QAbstractListModel>
#include <QComboBox>
#include <QListView>
#include <QTreeWidget>
#include <functional>
#include <vector>

#include "model/controls.h"
#include "platform/platform.h"

namespace tidwen::qt {

// The drive chooser: one entry per drive, as the platform words it.
class DriveListBox : public QComboBox, public DriveListControl {
  Q_OBJECT

 public:
  explicit DriveListBox(const std::vector<DriveInfo>& drives, QWidget* parent = nullptr);

  // Chooses the drive with this letter, if the table has one.
  void ChooseDrive(char letter);
  // Shows the drives of a table read again. The chosen drive stays chosen
  // while it is the same mount; when it is gone, no drive is chosen, so
  // that nothing else is scanned in its place.
  void Reload(const std::vector<DriveInfo>& drives);
  // Runs before the list drops down, to bring the drives up to date.
  void SetBeforePopup(std::function<void()> hook) { beforePopup_ = std::move(hook); }
  void showPopup() override;

  void SetVisible(bool visible) override { setVisible(visible); }
  bool Visible() const override { return !isHidden(); }
  // The chosen entry's text; empty when no drive is chosen.
  std::string Drive() const override;

 private:
  std::vector<DriveInfo> drives_;  // one per entry
  std::function<void()> beforePopup_;
};

// The directory list: the open directory's ancestors from the drive's root
// down, each one level deeper, then its subdirectories; a horizontal scroll
// bar reaches what a deep path pushes past the edge. A double click (or
// Enter) on an entry opens that directory.
class DirListBox : public QTreeWidget, public DirListControl {
  Q_OBJECT

 public:
  // lister must outlive the widget.
  explicit DirListBox(DirListControl& lister, QWidget* parent = nullptr);

  void SetVisible(bool visible) override;
  bool Visible() const override { return !isHidden(); }
  void SetPath(std::string_view path) override;
  std::string Path() const override { return lister_.Path(); }
  std::int64_t ListCount() const override { return lister_.ListCount(); }
  std::string List(std::int64_t i) const override { return lister_.List(i); }
  std::string ListName(std::int64_t i) const override { return lister_.ListName(i); }
  // Asked before a directory the user chose is opened; false drops the
  // choice.
  void SetMayOpen(std::function<bool()> gate) { mayOpen_ = std::move(gate); }
  // Runs after the user opened a directory of the list.
  void SetAfterOpen(std::function<void()> hook) { afterOpen_ = std::move(hook); }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Every level is always open, so no entry has an expand sign.
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

 private:
  // Opens the directory of an entry; a directory that cannot be listed
  // (gone, refused) leaves the list as it was.
  void OpenEntry(QTreeWidgetItem* item);
  void Rebuild();

  DirListControl& lister_;
  bool stale_ = true;
  std::function<bool()> mayOpen_;
  std::function<void()> afterOpen_;
};

// The names of the files that the file lister lists, read on demand.
class FileNamesModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit FileNamesModel(const FileListControl& lister, QObject* parent = nullptr);
  // Takes the lister's current listing.
  void Reload();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  const FileListControl& lister_;
  int rows_ = 0;
};

// The file list: the files of the directory the lister last opened.
class FileListBox : public QListView, public FileListControl {
  Q_OBJECT

 public:
  // lister must outlive the widget.
  explicit FileListBox(FileListControl& lister, QWidget* parent = nullptr);

  void SetVisible(bool visible) override;
  bool Visible() const override { return !isHidden(); }
  void SetPath(std::string_view path) override;
  std::string Path() const override { return lister_.Path(); }
  std::int64_t ListCount() const override { return lister_.ListCount(); }
  std::string_view List(std::int64_t i) const override { return lister_.List(i); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CatchUp();

  FileListControl& lister_;
  FileNamesModel* model_;
  bool stale_ = true;
};

}  // namespace tidwen::qt

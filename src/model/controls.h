// The controls of the main window as the logic sees them. The Qt window
// implements them over its widgets, tests over recording fakes, and the
// headless scanner over plain data.
//
// Every text is bytes. Paths are drive paths such as "c:\dir\x.tmp": a drive
// letter and colon, "\" separators, and a trailing "\" only on a drive's root.
// The bytes of each name are kept as they stand on disk; only a widget that
// shows a text converts it for display.
//
// Counts and indices are 64-bit: no list is limited to 32767 entries.
// Every operation may throw RuntimeError.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/check_list.h"
#include "model/file_stamp.h"
#include "model/path_arena.h"

namespace tidwen {

// Anything that can be shown or hidden. A hidden control keeps its contents
// and all of its operations work.
class Control {
 public:
  virtual ~Control() = default;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Visible() const = 0;
};

// An ordered list of text entries, indexed from 0, each with a selected flag.
class ListControl : public Control {
 public:
  // Appends text at the end, unselected.
  virtual void AddItem(std::string_view text) = 0;
  // Appends text at the end, unselected, remembering which file it names.
  // Lists that do not track files keep the text alone.
  virtual void AddItem(std::string_view text, const FileStamp& stamp) = 0;
  // Inserts text at index (0 to ListCount()); later entries move up by one.
  virtual void AddItem(std::string_view text, std::int64_t index) = 0;
  // Appends the entry whose text is path's, as AddItem(path.Text(), stamp)
  // does; a list that can keeps the path as it is, sharing the arena, so
  // that its entries cost their names and not their whole paths.
  virtual void AddPath(const ArenaPath& path, const FileStamp& stamp) {
    AddItem(path.Text(), stamp);
  }
  // The text of entry i; valid until the list next changes or the next
  // call of List().
  virtual std::string_view List(std::int64_t i) const = 0;
  // The file stamp entry i was added with; an unknown stamp if none.
  virtual FileStamp Stamp(std::int64_t i) const = 0;
  virtual std::int64_t ListCount() const = 0;
  // Appends a copy of entry i, its text and stamp, to to: as a path of its
  // arena where the list keeps it so, so that the copy stays compact.
  virtual void CopyEntry(std::int64_t i, CheckList& to) const { to.Append(List(i), Stamp(i)); }
  virtual bool Selected(std::int64_t i) const = 0;
  virtual void SetSelected(std::int64_t i, bool selected) = 0;
  // Removes entry i; later entries move down by one.
  virtual void RemoveItem(std::int64_t i) = 0;
  // Removes every entry.
  virtual void Clear() = 0;
  // Repaints at once, without waiting for the event loop. An implementation
  // may skip a repaint that comes too soon after the last one, as long as the
  // list's final state reaches the screen.
  virtual void Refresh() = 0;
};

// A one-line text.
class LabelControl : public Control {
 public:
  virtual void SetCaption(std::string_view caption) = 0;
  virtual std::string Caption() const = 0;
  // Repaints at once; the same allowance as ListControl::Refresh.
  virtual void Refresh() = 0;
};

// The drive chooser.
class DriveListControl : public Control {
 public:
  // The chosen drive: a text whose first two characters are the drive's
  // letter and colon, e.g. "c: [/]".
  virtual std::string Drive() const = 0;
};

// Lists the subdirectories of one directory.
class DirListControl : public Control {
 public:
  // Opens the directory at path and lists its subdirectories at once. Throws
  // RuntimeError when the directory cannot be listed; the lister then keeps
  // its previous directory.
  virtual void SetPath(std::string_view path) = 0;
  // The open directory's full path; a drive's root ends in "\", other
  // directories end without one.
  virtual std::string Path() const = 0;
  virtual std::int64_t ListCount() const = 0;
  // The full path of subdirectory i, without a trailing "\".
  virtual std::string List(std::int64_t i) const = 0;
  // The bare name of subdirectory i: what List(i) adds to Path().
  virtual std::string ListName(std::int64_t i) const {
    const std::string full = List(i);
    return full.substr(full.rfind('\\') + 1);
  }
};

// Lists the files of one directory.
class FileListControl : public Control {
 public:
  // Opens the directory at path and lists its files at once. Throws
  // RuntimeError when the directory cannot be listed; the lister then keeps
  // its previous directory.
  virtual void SetPath(std::string_view path) = 0;
  virtual std::string Path() const = 0;
  virtual std::int64_t ListCount() const = 0;
  // The bare name of file i; valid until the next SetPath.
  virtual std::string_view List(std::int64_t i) const = 0;
};

}  // namespace tidwen

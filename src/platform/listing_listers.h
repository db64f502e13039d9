// The directory lister and the file lister over a reader that serves both
// from one read of a directory, as each backend's reader does: a walk that
// points both listers at a directory reads it once.
//
// Reader::Read(drivePath, lister) returns a std::shared_ptr<const Listing>
// (or throws RuntimeError), and a Listing gives Path(), DirCount(),
// DirName(i), FileCount() and FileName(i).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/controls.h"
#include "model/runtime_error.h"

namespace tidwen {

namespace listers_detail {

inline void CheckIndex(std::int64_t i, std::int64_t count) {
  if (i < 0 || i >= count) throw RuntimeError(kInvalidCall, "list index out of range");
}

}  // namespace listers_detail

// Lists the subdirectories of a directory as full drive paths. Shows nothing
// until a path is set.
template <class Reader, class Listing, auto kDirs>
class ListingDirList final : public DirListControl {
 public:
  explicit ListingDirList(Reader& reader) : reader_(reader) {}
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  // Reads first, then switches: a failed read leaves the old directory
  // shown.
  void SetPath(std::string_view path) override { listing_ = reader_.Read(path, kDirs); }
  std::string Path() const override { return listing_ ? listing_->Path() : std::string(); }
  std::int64_t ListCount() const override { return listing_ ? listing_->DirCount() : 0; }
  std::string List(std::int64_t i) const override {
    listers_detail::CheckIndex(i, ListCount());
    const std::string& path = listing_->Path();
    const std::string_view name = listing_->DirName(i);
    std::string full;
    full.reserve(path.size() + 1 + name.size());
    full = path;
    if (full.back() != '\\') full.push_back('\\');
    full += name;
    return full;
  }
  std::string ListName(std::int64_t i) const override {
    listers_detail::CheckIndex(i, ListCount());
    return std::string(listing_->DirName(i));
  }

 private:
  Reader& reader_;
  std::shared_ptr<const Listing> listing_;
  bool visible_ = true;
};

// Lists the bare names of the files of a directory. Shows nothing until a
// path is set.
template <class Reader, class Listing, auto kFiles>
class ListingFileList final : public FileListControl {
 public:
  explicit ListingFileList(Reader& reader) : reader_(reader) {}
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  void SetPath(std::string_view path) override { listing_ = reader_.Read(path, kFiles); }
  std::string Path() const override { return listing_ ? listing_->Path() : std::string(); }
  std::int64_t ListCount() const override { return listing_ ? listing_->FileCount() : 0; }
  std::string_view List(std::int64_t i) const override {
    listers_detail::CheckIndex(i, ListCount());
    return listing_->FileName(i);
  }

 private:
  Reader& reader_;
  std::shared_ptr<const Listing> listing_;
  bool visible_ = true;
};

}  // namespace tidwen

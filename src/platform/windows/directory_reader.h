// One read of a directory serving both listers of the Windows platform, as
// on Linux: the directory lister and the file lister take what they need
// from the same listing, so a walk that points both at a directory reads it
// once. The listing keeps each listed file's size and write time too, so
// the walk measures the files of the directory it just listed without
// asking the system again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tidwen {

struct WinDrivePath;

// What the listing says of one listed file.
struct WinListedFile {
  std::int64_t size = 0;
  std::uint64_t lastWrite = 0;  // FILETIME, 100 ns since 1601
};

// The subdirectories and files of one directory, in the order the file
// system gives them: no reparse point (junction, symbolic link, or any other
// kind), and no hidden or system file. Hidden and system directories are
// listed; the file list's default filter leaves out only files.
class WinListing {
 public:
  // The directory's drive path, drive letter in lower case: "c:\" for a
  // root, "c:\a" below it.
  const std::string& Path() const { return path_; }
  std::int64_t DirCount() const { return static_cast<std::int64_t>(dirs_.size()); }
  std::int64_t FileCount() const { return static_cast<std::int64_t>(files_.size()); }
  // Names (WTF-8) are valid as long as the listing is held.
  std::string_view DirName(std::int64_t i) const { return NameAt(dirs_[static_cast<std::size_t>(i)]); }
  std::string_view FileName(std::int64_t i) const {
    return NameAt(files_[static_cast<std::size_t>(i)].name);
  }
  // The listed file of this name (exact bytes); nullptr if none is listed.
  // Fast for names asked for in listing order.
  const WinListedFile* FindFile(std::string_view name) const;

 private:
  friend class WinDirectoryReader;

  struct NameRef {
    std::size_t offset;
    std::size_t length;
  };
  struct FileEntry {
    NameRef name;
    WinListedFile info;
  };

  std::string_view NameAt(NameRef r) const {
    return std::string_view(names_).substr(r.offset, r.length);
  }

  std::string path_;
  std::string names_;  // every listed name, back to back
  std::vector<NameRef> dirs_;
  std::vector<FileEntry> files_;
  bool servedDirs_ = false;
  bool servedFiles_ = false;
  // Where the last look-up found its name, and an index built on the first
  // look-up out of order.
  mutable std::size_t cursor_ = 0;
  mutable std::unordered_map<std::string_view, std::size_t> index_;
};

enum class WinLister { kDirs, kFiles };

class WinKeptOut;

class WinDirectoryReader {
 public:
  // Leaves out of every listing what kept keeps out (kept_out.h); kept
  // outlives the reader.
  explicit WinDirectoryReader(const WinKeptOut& kept) : kept_(kept) {}

  // The listing of the directory at drivePath for one lister. The newest
  // listing is handed out again when it is of the same directory and this
  // lister has not had it yet (the other lister asked for it just before);
  // otherwise the directory is read afresh. Throws RuntimeError: 52 for no
  // directory path, 71 for a drive that is not ready, 76 for a directory
  // that is gone or no directory, 75 for a directory that is a reparse
  // point, 70 when access is refused, and others by the Win32 error.
  std::shared_ptr<const WinListing> Read(std::string_view drivePath, WinLister lister);

  // The newest listing, or nullptr before the first read.
  const WinListing* Newest() const { return newest_.get(); }

 private:
  // Reads the entries of dir into listing. Throws RuntimeError.
  void ReadEntries(const WinDrivePath& dir, WinListing& listing) const;

  const WinKeptOut& kept_;
  std::shared_ptr<WinListing> newest_;
};

}  // namespace tidwen

// One read of a directory serving both listers of the Windows platform, as
// on Linux: the directory lister and the file lister take what they need
// from the same listing, so a walk that points both at a directory reads it
// once. A directory is read through a handle of its own, which tells which
// directory it is, and its listing gives each file's size, times and file
// ID: the walk measures and stamps the files of the directory it just
// listed without opening any of them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/read_ahead.h"
#include "platform/windows/win_mft_walk.h"

namespace tidwen {

struct WinDrivePath;

// What the listing says of one listed file.
struct WinListedFile {
  std::int64_t size = 0;
  std::uint64_t lastWrite = 0;  // FILETIME, 100 ns since 1601
  std::uint64_t creation = 0;   // FILETIME
  // The file's number on its volume, as FileIdOf gives it for an open file;
  // 0 when the file system gave none.
  std::uint64_t fileId = 0;
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
  // The serial number of the directory's volume, as FileIdOf gives it.
  std::uint64_t Volume() const { return volume_; }
  std::int64_t DirCount() const { return static_cast<std::int64_t>(dirs_.size()); }
  std::int64_t FileCount() const { return static_cast<std::int64_t>(files_.size()); }
  // Names (WTF-8) are valid as long as the listing is held.
  std::string_view DirName(std::int64_t i) const {
    return NameAt(dirs_[static_cast<std::size_t>(i)]);
  }
  std::string_view FileName(std::int64_t i) const {
    return NameAt(files_[static_cast<std::size_t>(i)].name);
  }
  // The listed file of this name (exact bytes); nullptr if none is listed.
  // Fast for names asked for in listing order.
  const WinListedFile* FindFile(std::string_view name) const;

 private:
  friend class WinDirectoryReader;
  friend class WinMftWalk;

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

  // Bytes the listing holds, for bounding what is read ahead.
  std::size_t HeldBytes() const;

  std::string path_;
  std::uint64_t volume_ = 0;
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

// A directory a walk will visit, as the read-ahead reads it.
struct WinAheadDirectory {
  std::string drivePath;
};

class WinKeptOut;

class WinDirectoryReader {
 public:
  // Leaves out of every listing what kept keeps out (kept_out.h); kept
  // outlives the reader, and answers from several threads. Where a walk
  // starts, kept learns afresh what it keeps out (under Wine, mounts come
  // and go).
  explicit WinDirectoryReader(WinKeptOut& kept);
  ~WinDirectoryReader();
  WinDirectoryReader(const WinDirectoryReader&) = delete;
  WinDirectoryReader& operator=(const WinDirectoryReader&) = delete;

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

  // Reads ahead of a walk with this many threads; 0 reads nothing ahead. A
  // walk starts when a drive's root, or the directory given to
  // SetWalkStart, is read, and every directory read after it is expected to
  // be the next in breadth-first order, as a scan reads them. A listing read
  // ahead is used only when the directory the walk opens at its turn is the
  // very one that was read (volume, file ID, creation time) with the same
  // change time, and that change lay settledNs back when it was read;
  // otherwise the walk reads it itself.
  void SetReadAhead(int workers, std::int64_t settledNs);
  // Where a walk starts besides a drive's root: a directory shown as a
  // drive. Empty for none.
  void SetWalkStart(std::string drivePath);
  // Stops and joins the read-ahead.
  void ReleaseHandles() noexcept;
  // Whether a walk of an NTFS drive's root may take its listings from the
  // volume's Master File Table (see WinMftWalk); it may by default.
  void SetVolumeIndex(bool use) { mft_.SetEnabled(use); }
  // Listings the last walk took from the Master File Table.
  std::int64_t IndexedListings() const { return mft_.Served(); }
  // Listings read ahead and not taken yet; for tests.
  std::size_t HeldAhead() { return readAhead_ ? readAhead_->HeldListings() : 0; }

 private:
  using ReadAhead = WalkReadAhead<WinAheadDirectory, WinListing>;
  // Reads the entries of dir, open at handle, into listing. Throws
  // RuntimeError.
  void ReadEntries(const WinDrivePath& dir, void* handle, WinListing& listing,
                   std::vector<std::uint64_t>& buffer);
  // Reads one directory for the read-ahead; nullptr when it cannot.
  ReadAhead::Read ReadAheadOf(const WinAheadDirectory& directory,
                              std::vector<std::uint64_t>& buffer);
  // Expects the subdirectories of listing next.
  void ExpectChildren(const WinListing& listing);

  WinKeptOut& kept_;
  std::shared_ptr<WinListing> newest_;
  // The volume of the last walk's start, and its drive letter (lower case).
  std::uint64_t volume_ = 0;
  char volumeLetter_ = 0;
  std::vector<std::uint64_t> buffer_;  // the walk's own entry buffer
  // A volume found not to give 128-bit file IDs in its listings (as under
  // Wine): its directories are listed with 64-bit ones. ~0 for none.
  std::atomic<std::uint64_t> shortIdVolume_{~std::uint64_t{0}};
  int readAheadWorkers_ = 0;
  std::int64_t settledNs_ = kSettledNanoseconds;
  std::string walkStart_;
  std::unique_ptr<ReadAhead> readAhead_;  // while a walk reads ahead
  WinMftWalk mft_;
};

}  // namespace tidwen

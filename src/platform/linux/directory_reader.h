// One read of a directory serving both listers: the directory lister and the
// file lister each take what they need from the same listing, so a walk that
// points both at a directory reads it once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/beneath_opener.h"
#include "platform/linux/drive_path.h"
#include "platform/linux/drive_table.h"
#include "platform/linux/mft_walk.h"
#include "platform/linux/sys_calls.h"
#include "platform/linux/system_trees.h"

namespace tidwen {

// What a look at one file of a listing found, when the file was looked at
// together with its directory (by the read-ahead): statx's answer.
struct FileInfo {
  int err = 0;  // the errno of a failed look; the rest is then unset
  mode_t mode = 0;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};
  bool hasBirth = false;  // the file system keeps birth times
  std::int64_t birthNs = 0;
};

// The sorted subdirectories and files of one directory, as read once.
class Listing {
 public:
  // The directory's drive path, drive letter in lower case: "c:\" for a
  // root, "c:\a" below it. Empty for a listing that holds nothing.
  const std::string& Path() const { return path_; }
  // The directory, still open, for looking at its entries without resolving
  // the path again.
  int Fd() const { return fd_.Get(); }

  std::int64_t DirCount() const { return static_cast<std::int64_t>(dirs_.size()); }
  std::int64_t FileCount() const { return static_cast<std::int64_t>(files_.size()); }
  // Names are valid as long as the listing is held.
  std::string_view DirName(std::int64_t i) const {
    return NameAt(dirs_[static_cast<std::size_t>(i)]);
  }
  std::string_view FileName(std::int64_t i) const {
    return NameAt(files_[static_cast<std::size_t>(i)]);
  }
  // What was found of the file named name when the directory was read
  // ahead; nullptr when it was not, or the listing has no such file. Cheapest
  // when asked for the files in their order.
  const FileInfo* InfoOf(std::string_view name) const;

  // Bytes the listing holds, for bounding what is read ahead.
  std::size_t HeldBytes() const;
  // Filled from the volume's Master File Table rather than read: no
  // directory is open, and its files are stamped by a look of their own.
  bool Indexed() const { return indexed_; }

 private:
  friend class DirectoryReader;
  friend class ListingFiller;
  friend class MftWalk;

  struct NameRef {
    std::size_t offset;
    std::size_t length;
  };

  std::string_view NameAt(NameRef r) const {
    return std::string_view(names_).substr(r.offset, r.length);
  }
  // Empties the listing but keeps its buffers for the next read.
  void Reset();

  std::string path_;
  UniqueFd fd_;
  std::string names_;  // every listed name, back to back
  std::vector<NameRef> dirs_;
  std::vector<NameRef> files_;
  std::vector<FileInfo> infos_;       // one per file when read ahead, else none
  mutable std::size_t nextInfo_ = 0;  // where InfoOf looks first
  bool servedDirs_ = false;
  bool servedFiles_ = false;
  bool indexed_ = false;
};

// What a listing leaves out of a directory of the system's own trees.
struct SystemFilter {
  bool files = false;  // the directory lies in a system tree: no files
  // The directory is the root of a system tree with a passage: the one
  // subdirectory listed (/var lists tmp alone); empty otherwise.
  std::string_view passage;
  // A system tree lies directly below: the directory's POSIX path, to check
  // each subdirectory against; empty when none does.
  std::string treesBelow;
  // The system trees by identity: a subdirectory that is the root of one is
  // left out, whatever path leads to it. Not owned; nullptr checks none.
  const SystemTrees* trees = nullptr;

  static SystemFilter For(const DrivePath& path, const SystemTrees& trees);
};

// Whether the directory open at fd lies in a system's root: usr and etc
// directories beside it (kSystemRootMarks).
bool InSystemRoot(SysCalls& sys, int fd);

// Reads directories into listings, with the rules every lister keeps. One
// per thread: it keeps a buffer of its own (listing_filler.cpp).
class ListingFiller {
 public:
  explicit ListingFiller(SysCalls& sys);

  // Reads the directory open at fd into listing, sorted by name bytes.
  // Subdirectories are left out when they are mount points, trees a package
  // manager, version-control system or toolchain keeps (IsNeverOfferedTree),
  // or system trees by path or identity (filter), and so are those named as
  // system trees in a directory that holds usr and etc of its own (another
  // system's root); files when the filter says so. A directory named as a
  // tree with a passage ("var") that is that tree of this system (by
  // identity) or of another system's root lists its passage alone.
  // Throws RuntimeError; the listing then holds what it held before, in
  // part.
  void Fill(Listing& listing, int fd, std::string_view drivePath, const SystemFilter& filter);
  // Looks at every file of a filled listing, relative to fd, and records
  // what each look found.
  void LookAtFiles(Listing& listing, int fd);

 private:
  // 1 when the subdirectory name of the directory at fd is the root of a
  // mount (another filesystem, or a bind mount of this one), 0 when not or
  // when it cannot be told, -1 when it is gone or no longer a directory.
  // Where the look succeeds, stx holds what it found (device and inode).
  int MountState(int fd, const char* name, struct statx& stx);
  // The passage to list alone when the directory open at fd, at drivePath,
  // is a system tree's root with one (see Fill); empty when it is not.
  std::string_view PassageOf(int fd, std::string_view drivePath, const SystemFilter& filter);
  // Sorts a listing's names by their bytes.
  static void Sort(Listing& listing);

  SysCalls& sys_;
  std::vector<char> buffer_;  // getdents64 records
};

struct AheadDirectory;
template <class Directory, class Listing>
class WalkReadAhead;

enum class Lister { kDirs, kFiles };

// Reads directories for the two listers. A lister holds the listing it was
// given for as long as it shows that directory; the reader recycles a listing
// (its descriptor, name buffer and vectors) once no lister holds it, so a walk
// allocates nothing per file.
class DirectoryReader {
 public:
  // trees (not owned) are the system trees, whose directories are never
  // listed on any drive.
  DirectoryReader(const DriveTable& drives, SysCalls& sys, BeneathOpener& opener,
                  const SystemTrees& trees);
  ~DirectoryReader();

  // Reads ahead of a walk with this many threads, through the reader's
  // SysCalls, which must then take calls from several threads; 0 reads
  // nothing ahead. A walk starts when a drive's root, or the folder given to
  // SetWalkStart, is read, and every
  // directory read after it is expected to be the next in breadth-first
  // order, as a scan reads them. A listing read ahead is used only when the
  // directory the walk opens at its turn is the very one that was read, with
  // the same change time; otherwise the directory is read again, as without
  // read-ahead. A directory the walk cannot open is passed over, and the
  // reading ahead goes on.
  // settledNs: how long ago a directory's last change must lie for its
  // change time to vouch for its listing (kSettledNanoseconds; tests on
  // trees just made take less).
  void SetReadAhead(int workers, std::int64_t settledNs);
  // Where a walk starts besides a drive's root: a folder the walk begins
  // with. Empty for none.
  void SetWalkStart(std::string drivePath) { walkStart_ = std::move(drivePath); }

  // The listing of the directory at drivePath for one lister. The newest
  // listing is handed out again when it is of the same directory and this
  // lister has not had it yet (the other lister asked for it just before);
  // otherwise the directory is read afresh. Throws RuntimeError: 52 for a
  // path that names no directory of a known drive, 71 when the drive's mount
  // point cannot be opened, 76 for a directory that is gone, 75 when the path
  // crosses a link or another filesystem, 70 when access is refused, and
  // others by errno.
  std::shared_ptr<const Listing> Read(std::string_view drivePath, Lister lister);

  // A listing held open whose directory is drivePath, the newest first;
  // nullptr if there is none.
  const Listing* FindOpen(std::string_view drivePath) const;

  // Closes the mount point kept open and the directory of every listing,
  // and stops and joins the read-ahead. The listings keep their names; a
  // file of theirs is then measured from its path.
  void ReleaseHandles() noexcept;

  // Whether a walk of an NTFS drive may take its listings from the
  // volume's Master File Table (see MftWalk); it may by default.
  void SetVolumeIndex(bool use) { mft_.SetEnabled(use); }
  // Listings the last walk took from the Master File Table.
  std::int64_t IndexedListings() const { return mft_.Served(); }
  // The stamp of a file of an indexed listing, as st and its birth time
  // say (see MftWalk::Stamp).
  FileStamp IndexedStamp(std::string_view drivePath, const struct stat& st,
                         std::optional<std::int64_t> birth) const;

 private:
  // A listing that no lister holds, emptied; a new one if all are held.
  std::shared_ptr<Listing> Recycle();
  // The open mount point of drive; opened afresh when refresh is set or the
  // drive differs from the last one. Throws RuntimeError(71).
  int RootFd(const Drive& drive, std::string_view drivePath, bool refresh);
  // Hands out a listing just filled for one lister.
  std::shared_ptr<const Listing> Served(const std::shared_ptr<Listing>& listing,
                                        std::string_view drivePath, Lister lister);
  // Fills listing from its open directory: with what was read ahead of it
  // when that is the same directory, unchanged, else by reading it. Throws
  // RuntimeError.
  // mayTake: the directory is open as a path descriptor, and its listing
  // may come from the read-ahead. rootPassage: the passage a drive's root
  // lists alone, when its root is a system tree's with one.
  void FillListing(Listing& listing, std::string_view drivePath, const DrivePath& parsed,
                   Lister lister, bool mayTake, std::string_view rootPassage = {});

  const DriveTable& drives_;
  SysCalls& sys_;
  BeneathOpener& opener_;
  const SystemTrees& trees_;
  std::vector<std::shared_ptr<Listing>> pool_;
  std::size_t newest_ = static_cast<std::size_t>(-1);  // index into pool_
  // The mount point of the drive read last, kept open while the walk stays
  // on that drive.
  char rootLetter_ = 0;
  UniqueFd rootFd_;
  ListingFiller filler_;
  std::string walkStart_;
  int readAheadWorkers_ = 0;
  std::int64_t settledNs_ = 0;
  // While a walk reads ahead.
  std::unique_ptr<WalkReadAhead<AheadDirectory, Listing>> readAhead_;
  MftWalk mft_;
};

}  // namespace tidwen

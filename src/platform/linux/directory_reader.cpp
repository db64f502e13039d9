#include "platform/linux/directory_reader.h"

#include <dirent.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/linux/drive_path.h"
#include "platform/linux/error_numbers.h"
#include "platform/linux/read_ahead.h"
#include "platform/linux/system_trees.h"
#include "rules/never_offered.h"

namespace tidwen {

namespace {

// Large enough that most directories come in one call, small enough to stay
// in cache.
constexpr std::size_t kDentsBufferSize = std::size_t{64} * 1024;

// The layout of the records getdents64(2) returns.
struct RawDirent {
  std::uint64_t ino;
  std::int64_t off;
  std::uint16_t reclen;
  std::uint8_t type;
  char name[1];
};
constexpr std::size_t kNameOffset = offsetof(RawDirent, name);

constexpr int kLookFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC;

bool IsDotOrDotDot(const char* name, std::size_t length) {
  return name[0] == '.' && (length == 1 || (length == 2 && name[1] == '.'));
}

}  // namespace

void Listing::Reset() {
  path_.clear();
  fd_.Reset();
  names_.clear();
  dirs_.clear();
  files_.clear();
  infos_.clear();
  nextInfo_ = 0;
  servedDirs_ = false;
  servedFiles_ = false;
  indexed_ = false;
}

const FileInfo* Listing::InfoOf(std::string_view name) const {
  if (infos_.empty()) return nullptr;
  // A walk asks for the files in their order: try where the last one was
  // found, and the one after it, before searching.
  for (const std::size_t i : {nextInfo_, nextInfo_ + 1}) {
    if (i < files_.size() && NameAt(files_[i]) == name) {
      nextInfo_ = i;
      return &infos_[i];
    }
  }
  const auto found =
      std::lower_bound(files_.begin(), files_.end(), name,
                       [this](NameRef r, std::string_view n) { return NameAt(r) < n; });
  if (found == files_.end() || NameAt(*found) != name) return nullptr;
  nextInfo_ = static_cast<std::size_t>(found - files_.begin());
  return &infos_[nextInfo_];
}

std::size_t Listing::HeldBytes() const {
  return sizeof(Listing) + names_.capacity() + dirs_.capacity() * sizeof(NameRef) +
         files_.capacity() * sizeof(NameRef) + infos_.capacity() * sizeof(FileInfo);
}

SystemFilter SystemFilter::For(const DrivePath& path, const SystemTrees& trees) {
  std::string posix = path.drive->mountPoint;
  if (!path.relative.empty()) {
    if (posix.back() != '/') posix.push_back('/');
    posix += path.relative;
  }
  SystemFilter filter;
  filter.trees = &trees;
  filter.files = InSystemTree(posix);
  if (!filter.files && HoldsSystemTree(posix)) filter.treesBelow = std::move(posix);
  return filter;
}

ListingFiller::ListingFiller(SysCalls& sys) : sys_(sys), buffer_(kDentsBufferSize) {}

void ListingFiller::LookAtFiles(Listing& listing, int fd) {
  std::string name;
  listing.infos_.resize(listing.files_.size());
  for (std::size_t i = 0; i < listing.files_.size(); ++i) {
    name.assign(listing.NameAt(listing.files_[i]));
    FileInfo& info = listing.infos_[i];
    // The birth time comes with the same look, for the stamp of a hit.
    struct statx stx {};
    const int r = sys_.StatX(fd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                             STATX_BASIC_STATS | STATX_BTIME, &stx);
    if (r < 0) {
      info.err = -r;
      continue;
    }
    info.mode = stx.stx_mode;
    info.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    info.inode = stx.stx_ino;
    info.size = static_cast<off_t>(stx.stx_size);
    info.modified = {stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec};
    info.hasBirth = (stx.stx_mask & STATX_BTIME) != 0;
    info.birthNs =
        static_cast<std::int64_t>(stx.stx_btime.tv_sec) * 1000000000 + stx.stx_btime.tv_nsec;
  }
}

DirectoryReader::DirectoryReader(const DriveTable& drives, SysCalls& sys, BeneathOpener& opener,
                                 const SystemTrees& trees)
    : drives_(drives),
      sys_(sys),
      opener_(opener),
      trees_(trees),
      filler_(sys),
      mft_(sys, opener, trees) {}

DirectoryReader::~DirectoryReader() = default;

void DirectoryReader::SetReadAhead(int workers, std::int64_t settledNs) {
  readAhead_.reset();
  readAheadWorkers_ = workers;
  settledNs_ = settledNs;
}

std::shared_ptr<const Listing> DirectoryReader::Read(std::string_view drivePath, Lister lister) {
  if (newest_ < pool_.size()) {
    Listing& newest = *pool_[newest_];
    bool& served = lister == Lister::kDirs ? newest.servedDirs_ : newest.servedFiles_;
    if (!served && !newest.path_.empty() && SameDrivePath(newest.path_, drivePath)) {
      served = true;
      return pool_[newest_];
    }
  }

  const std::optional<DrivePath> parsed = ParseDrivePath(drives_, drivePath);
  if (!parsed) {
    if (readAhead_) readAhead_->Pass(drivePath);
    throw ErrorFor(kBadFileName, "not a directory path:", drivePath, 0);
  }

  const std::shared_ptr<Listing> listing = Recycle();
  const bool root = parsed->relative.empty();
  const bool walkStarts = root || (!walkStart_.empty() && lister == Lister::kDirs &&
                                   SameDrivePath(walkStart_, drivePath));
  const int rootFd = RootFd(*parsed->drive, drivePath, walkStarts);
  if (walkStarts) {
    // A walk starts at a drive's root or a folder: read ahead of it afresh,
    // unless the volume's index is to serve it.
    readAhead_.reset();
    if (readAheadWorkers_ > 0 && !mft_.Prepare(rootFd, parsed->drive->mountPoint)) {
      readAhead_ = StartLinuxReadAhead(sys_, readAheadWorkers_, rootFd, settledNs_);
    }
  }
  // A walk that has gone its way over an NTFS drive is served from the
  // volume's index.
  if (!root && mft_.Fill(*listing, drivePath, *parsed, rootFd,
                         newest_ < pool_.size() ? pool_[newest_].get() : nullptr)) {
    readAhead_.reset();
    return Served(listing, drivePath, lister);
  }
  // A directory read ahead is only looked at and measured from: a path
  // descriptor does, and is opened for reading only when it must be read.
  const bool mayTake = readAhead_ && !walkStarts && lister == Lister::kDirs;
  const int fd = opener_.OpenBeneath(rootFd, parsed->relative, mayTake ? O_PATH : O_RDONLY);
  if (fd < 0) {
    // The walk skips it and goes on with the next.
    if (readAhead_) readAhead_->Pass(drivePath);
    throw ErrorFor(ListErrorNumber(-fd), "cannot open directory", drivePath, -fd);
  }
  listing->fd_ = UniqueFd(sys_, fd);
  struct stat self {};
  // A drive whose root is a system tree lists nothing. Below the root, a
  // walk reaches only directories that a listing offered, and listings
  // leave the system trees out.
  const bool systemRoot = root && sys_.FStat(fd, &self) == 0 &&
                          trees_.IsRoot(static_cast<std::uint64_t>(self.st_dev),
                                        static_cast<std::uint64_t>(self.st_ino));
  try {
    if (!systemRoot) FillListing(*listing, drivePath, *parsed, lister, mayTake);
  } catch (...) {
    listing->Reset();
    throw;
  }
  listing->path_.assign(drivePath);
  listing->path_[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(drivePath[0])));
  (lister == Lister::kDirs ? listing->servedDirs_ : listing->servedFiles_) = true;
  newest_ =
      static_cast<std::size_t>(std::find(pool_.begin(), pool_.end(), listing) - pool_.begin());
  if (root) mft_.Arm(listing);
  return listing;
}

std::shared_ptr<const Listing> DirectoryReader::Served(const std::shared_ptr<Listing>& listing,
                                                       std::string_view drivePath, Lister lister) {
  listing->path_.assign(drivePath);
  listing->path_[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(drivePath[0])));
  (lister == Lister::kDirs ? listing->servedDirs_ : listing->servedFiles_) = true;
  newest_ =
      static_cast<std::size_t>(std::find(pool_.begin(), pool_.end(), listing) - pool_.begin());
  return listing;
}

FileStamp DirectoryReader::IndexedStamp(std::string_view drivePath, const struct stat& st,
                                        std::optional<std::int64_t> birth) const {
  const std::optional<DrivePath> parsed = ParseDrivePath(drives_, drivePath);
  if (!parsed || parsed->relative.empty()) return {};
  return mft_.Stamp(*parsed, rootFd_.Get(), st, birth);
}

const Listing* DirectoryReader::FindOpen(std::string_view drivePath) const {
  if (newest_ < pool_.size()) {
    const Listing& newest = *pool_[newest_];
    if ((newest.fd_.Valid() || newest.indexed_) && SameDrivePath(newest.path_, drivePath)) {
      return &newest;
    }
  }
  for (const std::shared_ptr<Listing>& l : pool_) {
    if (l.use_count() > 1 && (l->fd_.Valid() || l->indexed_) &&
        SameDrivePath(l->path_, drivePath)) {
      return l.get();
    }
  }
  return nullptr;
}

std::shared_ptr<Listing> DirectoryReader::Recycle() {
  // Only the pool holds a free listing. Prefer one other than the newest, so
  // the newest stays available to the other lister.
  std::size_t pick = pool_.size();
  for (std::size_t i = 0; i < pool_.size(); ++i) {
    if (pool_[i].use_count() != 1) continue;
    pick = i;
    if (i != newest_) break;
  }
  if (pick == pool_.size()) {
    pool_.push_back(std::make_shared<Listing>());
  } else {
    if (pick == newest_) newest_ = static_cast<std::size_t>(-1);
    pool_[pick]->Reset();
  }
  return pool_[pick];
}

int DirectoryReader::RootFd(const Drive& drive, std::string_view drivePath, bool refresh) {
  // Reading a drive's root opens its mount point afresh, so a new walk sees
  // a drive that was mounted again since the last one.
  if (!refresh && rootFd_.Valid() && rootLetter_ == drive.letter) return rootFd_.Get();
  rootFd_.Reset();
  const int fd = opener_.OpenMountPoint(drive);
  if (fd < 0) throw ErrorFor(MountErrorNumber(-fd), "drive not ready:", drivePath, -fd);
  rootFd_ = UniqueFd(sys_, fd);
  rootLetter_ = drive.letter;
  return fd;
}

void DirectoryReader::FillListing(Listing& listing, std::string_view drivePath,
                                  const DrivePath& parsed, Lister lister, bool mayTake) {
  std::shared_ptr<Listing> ahead;
  if (mayTake) {
    ahead = readAhead_->Take(drivePath, LookAtDirectory(sys_, listing.fd_.Get(), settledNs_));
    if (!ahead) {
      // The very directory looked at, opened for reading.
      const int fd = sys_.OpenAt(listing.fd_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
      if (fd < 0) throw ErrorFor(ListErrorNumber(-fd), "cannot open directory", drivePath, -fd);
      listing.fd_ = UniqueFd(sys_, fd);
    }
  }
  if (ahead) {
    // The path leads to the directory that was read, unchanged since: its
    // listing is this one's. Swapping keeps this listing's buffers with the
    // read-ahead's, which drops them.
    listing.names_.swap(ahead->names_);
    listing.dirs_.swap(ahead->dirs_);
    listing.files_.swap(ahead->files_);
    listing.infos_.swap(ahead->infos_);
  } else {
    filler_.Fill(listing, listing.fd_.Get(), drivePath, SystemFilter::For(parsed, trees_));
  }
  if (!readAhead_ || lister != Lister::kDirs) return;
  // Its subdirectories come next, after everything expected before.
  std::string path(drivePath);
  if (path.back() != '\\') path.push_back('\\');
  const std::size_t pathBase = path.size();
  std::string relative(parsed.relative);
  if (!relative.empty()) relative.push_back('/');
  const std::size_t relativeBase = relative.size();
  std::vector<AheadDirectory> children;
  children.reserve(static_cast<std::size_t>(listing.DirCount()));
  for (std::int64_t i = 0; i < listing.DirCount(); ++i) {
    const std::string_view name = listing.DirName(i);
    path.resize(pathBase);
    path.append(name);
    relative.resize(relativeBase);
    relative.append(name);
    const DrivePath child{parsed.drive, relative};
    children.push_back({path, relative, SystemFilter::For(child, trees_)});
  }
  readAhead_->Expect(std::move(children));
}

void DirectoryReader::ReleaseHandles() noexcept {
  readAhead_.reset();
  mft_.Release();
  rootFd_.Reset();
  rootLetter_ = 0;
  for (const std::shared_ptr<Listing>& listing : pool_) listing->fd_.Reset();
}

int ListingFiller::MountState(int fd, const char* name, struct statx& stx) {
  const int r = sys_.StatX(fd, name, kLookFlags, STATX_TYPE | STATX_INO, &stx);
  if (r == -ENOENT) return -1;
  // Anything else that keeps us from looking leaves the decision to the
  // open that would enter it, which refuses another filesystem anyway.
  if (r < 0) return 0;
  if (!S_ISDIR(stx.stx_mode)) return -1;
  if ((stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
    return (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0 ? 1 : 0;
  }
  // Kernels before 5.8 do not report mount roots; another device still shows.
  struct stat parent {};
  if (sys_.FStat(fd, &parent) < 0) return 0;
  return makedev(stx.stx_dev_major, stx.stx_dev_minor) != parent.st_dev ? 1 : 0;
}

void ListingFiller::Fill(Listing& listing, int fd, std::string_view drivePath,
                         const SystemFilter& filter) {
  std::string below;  // a subdirectory's POSIX path, for the system filter
  while (true) {
    const long n = sys_.GetDents64(fd, buffer_.data(), buffer_.size());
    // A failure part-way fails the whole read: a listing that silently
    // lacks entries would make a walk miss files without anyone knowing.
    if (n < 0)
      throw ErrorFor(ListErrorNumber(static_cast<int>(-n)), "cannot read directory", drivePath,
                     static_cast<int>(-n));
    if (n == 0) break;
    for (long at = 0; at < n;) {
      const char* record = buffer_.data() + at;
      std::uint16_t reclen;
      std::memcpy(&reclen, record + offsetof(RawDirent, reclen), sizeof reclen);
      if (reclen <= kNameOffset || reclen > n - at) {
        throw ErrorFor(kInternalError, "malformed directory record in", drivePath, 0);
      }
      const auto type = static_cast<unsigned char>(record[offsetof(RawDirent, type)]);
      const char* name = record + kNameOffset;
      const std::size_t length = strnlen(name, reclen - kNameOffset);
      at += reclen;
      if (length == 0 || IsDotOrDotDot(name, length)) continue;
      // A "\" cannot be written in a drive path.
      if (std::memchr(name, '\\', length) != nullptr) continue;

      bool isDir = type == DT_DIR;
      bool isFile = type == DT_REG;
      bool mountRoot = false;
      struct statx stx {};
      bool looked = false;
      if (type == DT_UNKNOWN) {
        // Some filesystems leave the type open; look without following. An
        // entry that cannot be looked at could not be measured or entered.
        if (sys_.StatX(fd, name, kLookFlags, STATX_TYPE | STATX_INO, &stx) < 0) continue;
        looked = true;
        isDir = S_ISDIR(stx.stx_mode);
        isFile = S_ISREG(stx.stx_mode);
      }
      if (isDir) {
        // A tree that version control, a package manager or a toolchain
        // keeps: its files are that tool's. Told by its name and its
        // parents' names, before any look.
        if (IsNeverOfferedTree(drivePath, std::string_view(name, length))) continue;
        if (looked && (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
          mountRoot = (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        } else {
          // A mount point, or gone since the read: either way not listed.
          mountRoot = MountState(fd, name, stx) != 0;
        }
        // A system tree, by the identity the look just gave, whatever
        // this directory is called: a bind mount of "/" shows /usr too.
        if (!mountRoot && filter.trees != nullptr &&
            filter.trees->IsRoot(makedev(stx.stx_dev_major, stx.stx_dev_minor), stx.stx_ino)) {
          continue;
        }
      }

      if (isDir && !filter.treesBelow.empty()) {
        below.assign(filter.treesBelow);
        if (below.back() != '/') below.push_back('/');
        below.append(name, length);
        if (InSystemTree(below)) continue;
      }
      if (isDir && !mountRoot) {
        listing.dirs_.push_back({listing.names_.size(), length});
      } else if (isFile && name[0] != '.' && !filter.files) {
        listing.files_.push_back({listing.names_.size(), length});
      } else {
        continue;
      }
      listing.names_.append(name, length);
    }
  }
  Sort(listing);
}

void ListingFiller::Sort(Listing& listing) {
  // string_view compares bytes as unsigned chars, as memcmp does.
  const auto byName = [&listing](Listing::NameRef a, Listing::NameRef b) {
    return listing.NameAt(a) < listing.NameAt(b);
  };
  std::sort(listing.dirs_.begin(), listing.dirs_.end(), byName);
  std::sort(listing.files_.begin(), listing.files_.end(), byName);
}

}  // namespace tidwen

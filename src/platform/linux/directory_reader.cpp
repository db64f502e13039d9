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
#include "platform/linux/system_trees.h"

namespace tidwen {

namespace {

// Large enough that most directories come in one call, small enough to stay
// in cache.
constexpr std::size_t kDentsBufferSize = 64 * 1024;

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
  servedDirs_ = false;
  servedFiles_ = false;
}

DirectoryReader::DirectoryReader(const DriveTable& drives, SysCalls& sys, BeneathOpener& opener)
    : drives_(drives), sys_(sys), opener_(opener), buffer_(kDentsBufferSize) {}

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
  if (!parsed) throw ErrorFor(kBadFileName, "not a directory path:", drivePath, 0);

  const std::shared_ptr<Listing> listing = Recycle();
  const int rootFd = RootFd(*parsed->drive, drivePath, parsed->relative.empty());
  const int fd = opener_.OpenBeneath(rootFd, parsed->relative, O_RDONLY);
  if (fd < 0) throw ErrorFor(ListErrorNumber(-fd), "cannot open directory", drivePath, -fd);
  listing->fd_ = UniqueFd(sys_, fd);
  try {
    Fill(*listing, drivePath, SystemFilterFor(*parsed));
  } catch (...) {
    listing->Reset();
    throw;
  }
  Sort(*listing);
  listing->path_.assign(drivePath);
  listing->path_[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(drivePath[0])));
  (lister == Lister::kDirs ? listing->servedDirs_ : listing->servedFiles_) = true;
  newest_ = static_cast<std::size_t>(
      std::find(pool_.begin(), pool_.end(), listing) - pool_.begin());
  return listing;
}

const Listing* DirectoryReader::FindOpen(std::string_view drivePath) const {
  if (newest_ < pool_.size()) {
    const Listing& newest = *pool_[newest_];
    if (newest.fd_.Valid() && SameDrivePath(newest.path_, drivePath)) return &newest;
  }
  for (const std::shared_ptr<Listing>& l : pool_) {
    if (l.use_count() > 1 && l->fd_.Valid() && SameDrivePath(l->path_, drivePath)) return l.get();
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

void DirectoryReader::ReleaseHandles() noexcept {
  rootFd_.Reset();
  rootLetter_ = 0;
  for (const std::shared_ptr<Listing>& listing : pool_) listing->fd_.Reset();
}

DirectoryReader::SystemFilter DirectoryReader::SystemFilterFor(const DrivePath& path) {
  std::string posix = path.drive->mountPoint;
  if (!path.relative.empty()) {
    if (posix.back() != '/') posix.push_back('/');
    posix += path.relative;
  }
  SystemFilter filter;
  filter.files = InSystemTree(posix);
  if (!filter.files && HoldsSystemTree(posix)) filter.treesBelow = std::move(posix);
  return filter;
}

int DirectoryReader::MountState(int fd, const char* name) {
  struct statx stx {};
  const int r = sys_.StatX(fd, name, kLookFlags, STATX_TYPE, &stx);
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

void DirectoryReader::Fill(Listing& listing, std::string_view drivePath,
                           const SystemFilter& filter) {
  const int fd = listing.fd_.Get();
  std::string below;  // a subdirectory's POSIX path, for the system filter
  while (true) {
    const long n = sys_.GetDents64(fd, buffer_.data(), buffer_.size());
    // A failure part-way fails the whole read: a listing that silently
    // lacks entries would make a walk miss files without anyone knowing.
    if (n < 0) throw ErrorFor(ListErrorNumber(static_cast<int>(-n)), "cannot read directory",
                              drivePath, static_cast<int>(-n));
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
      if (type == DT_UNKNOWN) {
        // Some filesystems leave the type open; look without following. An
        // entry that cannot be looked at could not be measured or entered.
        struct statx stx {};
        if (sys_.StatX(fd, name, kLookFlags, STATX_TYPE, &stx) < 0) continue;
        isDir = S_ISDIR(stx.stx_mode);
        isFile = S_ISREG(stx.stx_mode);
        if (isDir && (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
          mountRoot = (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        } else if (isDir) {
          mountRoot = MountState(fd, name) != 0;
        }
      } else if (isDir) {
        // A mount point, or gone since the read: either way not listed.
        mountRoot = MountState(fd, name) != 0;
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
}

void DirectoryReader::Sort(Listing& listing) {
  // string_view compares bytes as unsigned chars, as memcmp does.
  const auto byName = [&listing](Listing::NameRef a, Listing::NameRef b) {
    return listing.NameAt(a) < listing.NameAt(b);
  };
  std::sort(listing.dirs_.begin(), listing.dirs_.end(), byName);
  std::sort(listing.files_.begin(), listing.files_.end(), byName);
}

}  // namespace tidwen

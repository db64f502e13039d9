// Reading one directory into a listing, with the rules every lister keeps.
#include <dirent.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/linux/directory_reader.h"
#include "platform/linux/error_numbers.h"
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

bool InSystemRoot(SysCalls& sys, int fd) {
  for (const std::string_view mark : kSystemRootMarks) {
    const std::string beside = "../" + std::string(mark);
    struct statx stx {};
    if (sys.StatX(fd, beside.c_str(), kLookFlags, STATX_TYPE, &stx) != 0 ||
        !S_ISDIR(stx.stx_mode)) {
      return false;
    }
  }
  return true;
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
  filter.passage = PassageAt(posix);
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

std::string_view ListingFiller::PassageOf(int fd, std::string_view drivePath,
                                          const SystemFilter& filter) {
  if (!filter.passage.empty()) return filter.passage;
  const std::size_t slash = drivePath.rfind('\\');
  const std::string_view name =
      slash == std::string_view::npos ? std::string_view() : drivePath.substr(slash + 1);
  const std::string_view passage = PassageOfTreeNamed(name);
  if (name.empty() || passage.empty()) return {};
  // This system's tree under another path (a view of "/" bound elsewhere),
  // or the same tree of another system's root.
  struct stat self {};
  if (filter.trees != nullptr && sys_.FStat(fd, &self) == 0) {
    const SystemTrees::Root* tree = filter.trees->RootAt(static_cast<std::uint64_t>(self.st_dev),
                                                         static_cast<std::uint64_t>(self.st_ino));
    if (tree != nullptr) return tree->passage;
  }
  return InSystemRoot(sys_, fd) ? passage : std::string_view();
}

void ListingFiller::Fill(Listing& listing, int fd, std::string_view drivePath,
                         const SystemFilter& filter) {
  const std::string_view passage = PassageOf(fd, drivePath, filter);
  const bool files = !filter.files && passage.empty();
  // Which of a system root's marks (usr, etc) the directory holds.
  std::size_t marks = 0;
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
        const std::string_view entry(name, length);
        for (std::size_t m = 0; m < std::size(kSystemRootMarks); ++m) {
          if (entry == kSystemRootMarks[m]) marks |= std::size_t{1} << m;
        }
        // A tree's root with a passage lists the passage alone.
        if (!passage.empty() && entry != passage) continue;
        // A tree that version control, a package manager or a toolchain
        // keeps: its files are that tool's. Told by its name and its
        // parents' names, before any look.
        if (IsNeverOfferedTree(drivePath, entry)) continue;
        if (looked && (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
          mountRoot = (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        } else {
          // A mount point, or gone since the read: either way not listed.
          mountRoot = MountState(fd, name, stx) != 0;
        }
        // A system tree, by the identity the look just gave, whatever
        // this directory is called: a bind mount of "/" shows /usr too.
        if (!mountRoot && filter.trees != nullptr &&
            filter.trees->KeepsOut(makedev(stx.stx_dev_major, stx.stx_dev_minor), stx.stx_ino)) {
          continue;
        }
      }

      if (isDir && !filter.treesBelow.empty()) {
        below.assign(filter.treesBelow);
        if (below.back() != '/') below.push_back('/');
        below.append(name, length);
        if (InSystemTree(below) && PassageAt(below).empty()) continue;
      }
      if (isDir && !mountRoot) {
        listing.dirs_.push_back({listing.names_.size(), length});
      } else if (isFile && name[0] != '.' && files) {
        listing.files_.push_back({listing.names_.size(), length});
      } else {
        continue;
      }
      listing.names_.append(name, length);
    }
  }
  if (marks == (std::size_t{1} << std::size(kSystemRootMarks)) - 1) {
    // Another system's root: its trees are that system's.
    std::erase_if(listing.dirs_, [&listing](Listing::NameRef r) {
      const std::string_view name = listing.NameAt(r);
      return IsSystemTreeName(name) && PassageOfTreeNamed(name).empty();
    });
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

#include "platform/linux/drive_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <utility>

#include "platform/linux/beneath_opener.h"
#include "platform/linux/drive_path.h"
#include "platform/linux/sys_calls.h"
#include "platform/linux/system_trees.h"

namespace tidwen {

namespace {

constexpr char kLastLetter = 'z';

// Filesystems that keep nothing on storage: never given a letter, whatever
// their source says (a tmpfs may name "/dev/shm" as its source).
constexpr std::array<std::string_view, 31> kPseudoTypes = {
    "proc",     "sysfs",      "devtmpfs",   "devpts",     "cgroup",     "cgroup2",
    "tmpfs",    "ramfs",      "mqueue",     "debugfs",    "tracefs",    "securityfs",
    "pstore",   "bpf",        "configfs",   "fusectl",    "hugetlbfs",  "autofs",
    "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",      "overlay",    "squashfs",
    "selinuxfs", "rootfs",    "devfs",      "nfsd",       "fuse.portal", "fuse.gvfsd-fuse",
    "fuse.lxcfs"};

// Network-backed filesystems: their source is no block device.
constexpr std::array<std::string_view, 16> kNetworkTypes = {
    "nfs",  "nfs4",      "cifs",           "smb3",       "smbfs",     "9p",
    "virtiofs", "ceph",  "glusterfs",      "fuse.glusterfs", "fuse.sshfs", "afs",
    "lustre", "gpfs",    "fuse.rclone",    "davfs"};

// Disk filesystems, recognised by type when the source is not a /dev path
// (a loop setup or a fuse helper that names something else).
constexpr std::array<std::string_view, 20> kDiskTypes = {
    "ext2",  "ext3",  "ext4",  "xfs",      "btrfs",   "vfat",    "msdos",
    "exfat", "ntfs",  "ntfs3", "fuseblk",  "f2fs",    "jfs",     "reiserfs",
    "zfs",   "iso9660", "udf", "hfsplus",  "hfs",     "bcachefs"};

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& set, std::string_view s) {
  return std::find(set.begin(), set.end(), s) != set.end();
}

bool HoldsFilesOnStorage(std::string_view fsType, std::string_view source) {
  if (OneOf(kPseudoTypes, fsType)) return false;
  if (source.substr(0, 5) == "/dev/") return true;
  return OneOf(kNetworkTypes, fsType) || OneOf(kDiskTypes, fsType);
}

// mountinfo writes space, tab, newline and backslash in paths as "\ooo".
std::string DecodeOctalEscapes(std::string_view field) {
  const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
        isOctal(field[i + 2]) && isOctal(field[i + 3])) {
      out.push_back(static_cast<char>(((field[i + 1] - '0') << 6) |
                                      ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
      i += 3;
      continue;
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

struct MountEntry {
  std::string mountPoint;
  std::string fsType;
  std::string source;
  std::uint64_t id = 0;
  std::uint64_t device = 0;  // of the mounted filesystem, as the table says
};

// A decimal number, or nullopt.
std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// The entries of a mountinfo text in table order; malformed lines are
// skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> entries;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    // id parent major:minor root mountpoint options [optional...] - type source superoptions
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 10) continue;
    const auto dash = std::find(fields.begin() + 6, fields.end(), std::string_view("-"));
    if (dash == fields.end() || fields.end() - dash < 3) continue;
    const std::size_t colon = fields[2].find(':');
    const std::optional<std::uint64_t> id = ParseNumber(fields[0]);
    const std::optional<std::uint64_t> major = ParseNumber(fields[2].substr(0, colon));
    const std::optional<std::uint64_t> minor =
        colon == std::string_view::npos ? std::nullopt : ParseNumber(fields[2].substr(colon + 1));
    if (!id || !major || !minor) continue;
    MountEntry e{DecodeOctalEscapes(fields[4]), DecodeOctalEscapes(dash[1]),
                 DecodeOctalEscapes(dash[2]), *id,
                 makedev(static_cast<unsigned>(*major), static_cast<unsigned>(*minor))};
    if (e.mountPoint.empty() || e.mountPoint.front() != '/') continue;
    entries.push_back(std::move(e));
  }
  return entries;
}

// Looks at a mount point on this system: opened from "/" without following
// a link at any step, it must be a directory; its device counts when it is
// the root of the mount with the given ID.
std::optional<std::uint64_t> ProbeOnSystem(const std::string& mountPoint, std::uint64_t id) {
  RealSysCalls sys;
  BeneathOpener opener(sys);
  const int fd = opener.OpenNoSymlinks(mountPoint);
  if (fd < 0) return std::nullopt;
  const UniqueFd dir(sys, fd);
  struct statx stx {};
  if (sys.StatX(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE | STATX_MNT_ID, &stx) < 0 ||
      !S_ISDIR(stx.stx_mode)) {
    return std::nullopt;
  }
  if ((stx.stx_mask & STATX_MNT_ID) != 0 && stx.stx_mnt_id == id) {
    return makedev(stx.stx_dev_major, stx.stx_dev_minor);
  }
  return 0;
}

bool IsSeparatorFree(std::string_view name) {
  return name.find('\\') == std::string_view::npos;
}

}  // namespace

DriveTable::DriveTable(std::vector<Drive> drives) : drives_(std::move(drives)) {
  for (Drive& d : drives_) {
    d.letter = static_cast<char>(std::tolower(static_cast<unsigned char>(d.letter)));
  }
}

DriveTable DriveTable::FromMountInfo(std::string_view mountinfo, const DriveTable* previous) {
  return FromMountInfo(mountinfo, ProbeOnSystem, previous);
}

DriveTable DriveTable::FromMountInfo(std::string_view mountinfo, const MountProbe& probe,
                                     const DriveTable* previous) {
  const std::vector<MountEntry> entries = ParseMountInfo(mountinfo);

  // A later entry for the same mount point is mounted on top of the earlier
  // one and is the one that shows, so only the last entry of each counts.
  std::unordered_map<std::string_view, std::size_t> lastEntry;
  for (std::size_t i = 0; i < entries.size(); ++i) lastEntry[entries[i].mountPoint] = i;

  const auto identify = [&probe](Drive& d, const MountEntry& e) {
    const std::optional<std::uint64_t> device = probe(e.mountPoint, e.id);
    if (!device) return false;
    d.mountId = e.id;
    // Where the mount's root reports a device of its own (a btrfs
    // subvolume does), that is the one a later look sees.
    d.device = *device != 0 ? *device : e.device;
    return true;
  };

  Drive root{'c', "/", ""};
  std::vector<Drive> others;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const MountEntry& e = entries[i];
    if (lastEntry[e.mountPoint] != i) continue;
    if (e.mountPoint == "/") {
      root.fsType = e.fsType;
      // "/" is always there; a root that cannot be identified stays
      // unchecked, as in a chroot where it is no mount's root.
      if (!identify(root, e)) root.mountId = root.device = 0;
      continue;
    }
    if (!HoldsFilesOnStorage(e.fsType, e.source) || InSystemTree(e.mountPoint)) continue;
    Drive d{'?', e.mountPoint, e.fsType};
    if (identify(d, e)) others.push_back(std::move(d));
  }

  // Drives still mounted keep their letters; new ones take the lowest free
  // letters in the order of their mount points, so that the same mounts get
  // the same letters from one start to the next.
  std::array<bool, kLastLetter - 'a' + 1> taken{};
  taken['c' - 'a'] = true;
  std::vector<Drive*> fresh;
  for (Drive& d : others) {
    const Drive* before = nullptr;
    if (previous != nullptr) {
      for (const Drive& p : previous->Drives()) {
        if (p.letter != 'c' && p.mountPoint == d.mountPoint && p.mountId == d.mountId &&
            p.device == d.device) {
          before = &p;
        }
      }
    }
    if (before != nullptr && !taken[before->letter - 'a']) {
      d.letter = before->letter;
      taken[d.letter - 'a'] = true;
    } else {
      fresh.push_back(&d);
    }
  }
  std::stable_sort(fresh.begin(), fresh.end(),
                   [](const Drive* a, const Drive* b) { return a->mountPoint < b->mountPoint; });
  char next = 'd';
  for (Drive* d : fresh) {
    while (next <= kLastLetter && taken[next - 'a']) ++next;
    if (next > kLastLetter) break;
    d->letter = next;
    taken[next - 'a'] = true;
  }

  std::vector<Drive> lettered;
  lettered.push_back(std::move(root));
  for (Drive& d : others) {
    if (d.letter != '?') lettered.push_back(std::move(d));
  }
  std::sort(lettered.begin() + 1, lettered.end(),
            [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
  return DriveTable(std::move(lettered));
}

DriveTable DriveTable::FromSystem(const DriveTable* previous) {
  std::ifstream in("/proc/self/mountinfo", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return FromMountInfo(text.str(), previous);
}

const Drive* DriveTable::Find(char letter) const {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  for (const Drive& d : drives_) {
    if (d.letter == lower) return &d;
  }
  return nullptr;
}

std::optional<std::string> DriveTable::ToPosixPath(std::string_view drivePath) const {
  std::optional<DrivePath> parsed = ParseDrivePath(*this, drivePath);
  if (!parsed) return std::nullopt;
  const std::string& mount = parsed->drive->mountPoint;
  if (parsed->relative.empty()) return mount;
  std::string posix = mount;
  if (posix.empty() || posix.back() != '/') posix.push_back('/');
  posix += parsed->relative;
  return posix;
}

std::optional<std::string> DriveTable::ToDrivePath(std::string_view posixPath) const {
  if (posixPath.empty() || posixPath.front() != '/') return std::nullopt;
  // Mount points are matched against the plain spelling, so that
  // "//mnt//data/x" lies on the drive of "/mnt/data" as "/mnt/data/x" does.
  std::string plain;
  plain.reserve(posixPath.size());
  for (const char c : posixPath) {
    if (c != '/' || plain.empty() || plain.back() != '/') plain.push_back(c);
  }
  if (plain.size() > 1 && plain.back() == '/') plain.pop_back();
  posixPath = plain;
  const Drive* best = nullptr;
  std::string_view rest;
  for (const Drive& d : drives_) {
    std::string_view mount = d.mountPoint;
    while (mount.size() > 1 && mount.back() == '/') mount.remove_suffix(1);
    std::string_view below;
    if (mount == "/") {
      below = posixPath;
    } else if (posixPath.substr(0, mount.size()) == mount &&
               (posixPath.size() == mount.size() || posixPath[mount.size()] == '/')) {
      below = posixPath.substr(mount.size());
    } else {
      continue;
    }
    if (best == nullptr || mount.size() > best->mountPoint.size()) {
      best = &d;
      rest = below;
    }
  }
  if (best == nullptr) return std::nullopt;

  std::string drivePath{best->letter, ':', '\\'};
  bool first = true;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view name = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (name.empty()) continue;  // "//" and a trailing "/" add nothing
    // "." and ".." would need the links on the way resolved to mean anything;
    // a NUL would make a drive path that no file operation takes.
    if (name == "." || name == ".." || !IsSeparatorFree(name) ||
        name.find('\0') != std::string_view::npos) {
      return std::nullopt;
    }
    if (!first) drivePath.push_back('\\');
    drivePath += name;
    first = false;
  }
  return drivePath;
}

std::optional<DrivePath> ParseDrivePath(const DriveTable& table, std::string_view drivePath) {
  if (drivePath.size() < 3 || drivePath[1] != ':' || drivePath[2] != '\\') return std::nullopt;
  const Drive* drive = table.Find(drivePath[0]);
  if (drive == nullptr) return std::nullopt;
  DrivePath parsed{drive, {}};
  std::string_view rest = drivePath.substr(3);
  if (rest.empty()) return parsed;
  parsed.relative.reserve(rest.size());
  while (true) {
    const std::size_t sep = rest.find('\\');
    const std::string_view name = rest.substr(0, sep);
    if (name.empty() || name == "." || name == ".." ||
        name.find('\0') != std::string_view::npos || name.find('/') != std::string_view::npos) {
      return std::nullopt;
    }
    parsed.relative += name;
    if (sep == std::string_view::npos) break;
    parsed.relative.push_back('/');
    rest = rest.substr(sep + 1);
  }
  return parsed;
}

ParentAndName SplitParent(std::string_view drivePath) {
  if (drivePath.size() <= 3 || drivePath[1] != ':' || drivePath[2] != '\\') return {drivePath, {}};
  const std::size_t sep = drivePath.rfind('\\');
  const std::string_view name = drivePath.substr(sep + 1);
  // The root keeps its "\": "c:\x" -> "c:\". Any other parent ending in "\"
  // hides an empty name ("c:\\x") and is no drive path.
  if (sep == 2) return {drivePath.substr(0, 3), name};
  if (drivePath[sep - 1] == '\\') return {drivePath, {}};
  return {drivePath.substr(0, sep), name};
}

bool SameDrivePath(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a.empty()) return false;
  return std::tolower(static_cast<unsigned char>(a[0])) ==
             std::tolower(static_cast<unsigned char>(b[0])) &&
         a.substr(1) == b.substr(1);
}

}  // namespace tidwen

#include "platform/linux/drive_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cctype>

#include <cerrno>
#include <unordered_map>
#include <utility>

#include "platform/linux/beneath_opener.h"
#include "platform/linux/drive_path.h"
#include "platform/linux/error_numbers.h"
#include "platform/linux/kept_mounts.h"
#include "platform/linux/sys_calls.h"
#include "platform/linux/system_trees.h"

namespace tidwen {

namespace {

constexpr char kLastLetter = 'z';

// Filesystems that keep nothing on storage: never given a letter, whatever
// their source says (a tmpfs may name "/dev/shm" as its source).
constexpr std::array<std::string_view, 31> kPseudoTypes = {
    "proc",        "sysfs",    "devtmpfs",   "devpts",  "cgroup",      "cgroup2",
    "tmpfs",       "ramfs",    "mqueue",     "debugfs", "tracefs",     "securityfs",
    "pstore",      "bpf",      "configfs",   "fusectl", "hugetlbfs",   "autofs",
    "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",    "overlay",     "squashfs",
    "selinuxfs",   "rootfs",   "devfs",      "nfsd",    "fuse.portal", "fuse.gvfsd-fuse",
    "fuse.lxcfs"};

// Network-backed filesystems: their source is no block device.
constexpr std::array<std::string_view, 16> kNetworkTypes = {
    "nfs",       "nfs4",           "cifs",       "smb3", "smbfs",  "9p",   "virtiofs",    "ceph",
    "glusterfs", "fuse.glusterfs", "fuse.sshfs", "afs",  "lustre", "gpfs", "fuse.rclone", "davfs"};

// Disk filesystems, recognised by type when the source is not a /dev path
// (a loop setup or a fuse helper that names something else).
constexpr std::array<std::string_view, 20> kDiskTypes = {
    "ext2",  "ext3",    "ext4",  "xfs",     "btrfs", "vfat",    "msdos",
    "exfat", "ntfs",    "ntfs3", "fuseblk", "f2fs",  "jfs",     "reiserfs",
    "zfs",   "iso9660", "udf",   "hfsplus", "hfs",   "bcachefs"};

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& set, std::string_view s) {
  return std::find(set.begin(), set.end(), s) != set.end();
}

bool HoldsFilesOnStorage(std::string_view fsType, std::string_view source) {
  if (OneOf(kPseudoTypes, fsType)) return false;
  if (source.substr(0, 5) == "/dev/") return true;
  return OneOf(kNetworkTypes, fsType) || OneOf(kDiskTypes, fsType);
}

// Looks at a mount point on this system: opened from "/" without following
// a link at any step, what is there.
// Throws RuntimeError(kTooManyFiles) when the system has no descriptor to
// look with: a drive that could not be looked at is not a drive that is gone.
std::optional<MountIdentity> ProbeOnSystem(const std::string& mountPoint, bool withFilesystem) {
  RealSysCalls sys;
  BeneathOpener opener(sys);
  const auto shortOfDescriptors = [&mountPoint](int r) {
    if (r == -EMFILE || r == -ENFILE)
      throw ErrorFor(kTooManyFiles, "cannot look at", mountPoint, -r);
  };
  const int fd = opener.OpenNoSymlinks(mountPoint);
  shortOfDescriptors(fd);
  if (fd < 0) return std::nullopt;
  const UniqueFd dir(sys, fd);
  MountIdentity identity;
  const int r = ReadMountIdentity(sys, fd, withFilesystem, identity);
  shortOfDescriptors(r);
  if (r < 0) return std::nullopt;
  // What the mount point lies in: another system's root shows as one, by
  // usr and etc directories beside it. Looked at as cached, so that no
  // server is asked.
  constexpr int kBesideFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC;
  identity.inSystemRoot = true;
  for (const std::string_view mark : kSystemRootMarks) {
    struct statx stx {};
    const std::string beside = "../" + std::string(mark);
    identity.inSystemRoot = identity.inSystemRoot &&
                            sys.StatX(fd, beside.c_str(), kBesideFlags, STATX_TYPE, &stx) == 0 &&
                            S_ISDIR(stx.stx_mode);
  }
  return identity;
}

bool IsSeparatorFree(std::string_view name) { return name.find('\\') == std::string_view::npos; }

}  // namespace

DriveTable::DriveTable(std::vector<Drive> drives) : drives_(std::move(drives)) {
  for (Drive& d : drives_) {
    d.letter = static_cast<char>(std::tolower(static_cast<unsigned char>(d.letter)));
  }
}

DriveTable DriveTable::FromMountInfo(std::string_view mountinfo, const SystemTrees& trees,
                                     const DriveTable* previous) {
  return FromMountInfo(mountinfo, ProbeOnSystem, trees, previous);
}

DriveTable DriveTable::FromMountInfo(std::string_view mountinfo, const MountProbe& probe,
                                     const SystemTrees& trees, const DriveTable* previous) {
  const std::vector<MountEntry> entries = ParseMountInfo(mountinfo);
  const KeptMounts kept(entries, trees);

  // A later entry for the same mount point is mounted on top of the earlier
  // one and is the one that shows, so only the last entry of each counts.
  std::unordered_map<std::string_view, std::size_t> lastEntry;
  for (std::size_t i = 0; i < entries.size(); ++i) lastEntry[entries[i].mountPoint] = i;

  // Records which mount d is; false when its mount point leads to no
  // directory, or to the root of a system tree.
  const auto identify = [&probe, &trees](Drive& d, const MountEntry& e) {
    // A network filesystem is asked nothing that would wait for its server.
    const bool local = !OneOf(kNetworkTypes, e.fsType) && e.fsType.rfind("fuse", 0) != 0;
    const std::optional<MountIdentity> found = probe(e.mountPoint, local);
    if (!found || !found->directory) return false;
    d.mountId = e.id;
    d.device = e.device;
    // Mounted as one of the trees of another system's root (a disk on
    // /home/u/chroot/usr): that system's, as this system's are.
    const std::string_view name =
        std::string_view(e.mountPoint).substr(e.mountPoint.rfind('/') + 1);
    if (found->inSystemRoot && IsSystemTreeName(name) && PassageOfTreeNamed(name).empty()) {
      return false;
    }
    if (found->mountId == e.id) {
      if (trees.KeepsOut(found->device, found->inode)) return false;
      // Where the mount's root reports a device of its own (a btrfs
      // subvolume does), that is the one a later look sees.
      if (found->device != 0) d.device = found->device;
      d.uniqueMountId = found->uniqueMountId;
      d.filesystem = found->filesystem;
    }
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
      if (!identify(root, e)) root = Drive{'c', "/", e.fsType};
      continue;
    }
    if (!HoldsFilesOnStorage(e.fsType, e.source) || kept.KeepsOut(e)) continue;
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
        if (p.letter != 'c' && p.SameMount(d)) {
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

DriveTable DriveTable::FromSystem(const SystemTrees& trees, const DriveTable* previous) {
  std::string text;
  // Without the table every drive but c: would seem gone.
  if (const int err = ReadOwnMountInfo(text); err != 0) {
    throw ErrorFor(GeneralErrorNumber(err), "cannot read", "/proc/self/mountinfo", err);
  }
  return FromMountInfo(text, trees, previous);
}

DriveTable DriveTable::FromSystem(const DriveTable* previous) {
  return FromSystem(SystemTrees::Record(), previous);
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
    if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string_view::npos ||
        name.find('/') != std::string_view::npos) {
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

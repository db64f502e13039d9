// Drive letters for mounted filesystems, and the mapping between drive paths
// ("c:\dir\x.tmp") and POSIX paths ("/dir/x.tmp").
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/mount_info.h"
#include "platform/linux/system_trees.h"

namespace tidwen {

struct Drive {
  char letter = 'c';       // lower case
  std::string mountPoint;  // absolute POSIX path, no trailing "/" but on "/"
  std::string fsType;      // as the mount table gives it; may be empty
  // Which mount the drive is: its mount ID and the device of its root, as
  // they were when the mount table was read. Whatever is opened at the mount
  // point later must be that mount, or the drive is not ready. 0 for a
  // drive that is no mount of the table (tests map c: to a directory): its
  // directory is taken as it is.
  std::uint64_t mountId = 0;
  std::uint64_t device = 0;
  // The mount's unique ID where the kernel gives one (never reused, unlike
  // mountId), and the filesystem's own identity (its UUID, or f_fsid):
  // another filesystem mounted in the same place from the same device is
  // another drive. 0 when not known; then they check nothing.
  std::uint64_t uniqueMountId = 0;
  std::uint64_t filesystem = 0;

  // Whether two drives are the same mount of the same filesystem.
  bool SameMount(const Drive& other) const {
    return mountPoint == other.mountPoint && mountId == other.mountId && device == other.device &&
           uniqueMountId == other.uniqueMountId && filesystem == other.filesystem;
  }
};

class DriveTable {
 public:
  DriveTable() = default;
  // A table of exactly these drives; tests map c: to a temporary directory.
  explicit DriveTable(std::vector<Drive> drives);

  // What the system says of a mount point, reached without following a
  // link: nullopt when nothing can be reached there so; else the identity
  // of what is there, with the filesystem's own when asked for.
  using MountProbe = std::function<std::optional<MountIdentity>(const std::string& mountPoint,
                                                                bool withFilesystem)>;

  // c: is "/". The other mounts that hold files on storage (block-device or
  // network backed, or a known disk filesystem) get letters from d: on.
  // Pseudo and memory filesystems, mount points that are no directory (a
  // bind-mounted file), and mounts of the system's trees get none: a mount
  // point inside a system tree (by path; /var, the way to /var/tmp, and
  // what lies in /var/tmp do get one), a mount whose root directory is the
  // root of a system tree kept out whole (by identity, a bind mount of /usr
  // wherever it is), or whose root lies inside one (a bind mount of
  // /usr/share); and mounts of what a tool keeps, by mount point or root (a
  // disk on .../node_modules, a bind mount of a .git: KeptMounts), and
  // mounts on another system's trees (a disk on /home/u/chroot/usr). A
  // drive of previous that is still mounted (the same mount of the same
  // filesystem at the same place) keeps its letter; the others take the
  // lowest free letters in the order of their mount points. This form asks
  // the system.
  static DriveTable FromMountInfo(std::string_view mountinfo, const SystemTrees& trees,
                                  const DriveTable* previous = nullptr);
  // The same with the probe supplied, for mount tables of another machine.
  static DriveTable FromMountInfo(std::string_view mountinfo, const MountProbe& probe,
                                  const SystemTrees& trees, const DriveTable* previous = nullptr);
  // FromMountInfo over /proc/self/mountinfo. Throws RuntimeError when the
  // table cannot be read, or a mount point cannot be looked at for want of
  // descriptors (kTooManyFiles): a table without those drives would say
  // they are gone.
  static DriveTable FromSystem(const SystemTrees& trees, const DriveTable* previous = nullptr);
  // The same with the system trees as they are now.
  static DriveTable FromSystem(const DriveTable* previous = nullptr);

  const std::vector<Drive>& Drives() const { return drives_; }
  // The drive with this letter, either case; nullptr if none.
  const Drive* Find(char letter) const;

  // "c:\a\b" -> "<mount of c:>/a/b"; "c:\" -> the mount point. The drive
  // letter may be either case. nullopt for an unknown drive or a path that is
  // not a drive path. Names keep their bytes.
  std::optional<std::string> ToPosixPath(std::string_view drivePath) const;
  // The drive path of a POSIX path under the drive with the longest matching
  // mount point; nullopt when no drive holds it or a name holds "\" or NUL.
  // Repeated and trailing "/" count for nothing.
  std::optional<std::string> ToDrivePath(std::string_view posixPath) const;

 private:
  std::vector<Drive> drives_;
};

}  // namespace tidwen

// Which mounts of a mount table hold what belongs to the system or to a
// tool, and so get no drive letter: a drive's root is never checked
// against the rules a listing applies to its subdirectories, so the drive
// table applies them to the mount point and to the mount's root.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/mount_info.h"
#include "platform/linux/system_trees.h"

namespace tidwen {

// Whether a directory at an absolute POSIX path, or one above it, is a tree
// a tool keeps (IsNeverOfferedTree: .git, node_modules, site-packages,
// lib/python3.11, ...).
bool InNeverOfferedTree(std::string_view posixPath);

class KeptMounts {
 public:
  // Locates each system tree of trees inside its filesystem, by the mount
  // that shows it in entries.
  KeptMounts(const std::vector<MountEntry>& entries, const SystemTrees& trees);

  // Whether the mount e holds the system's or a tool's files: its mount
  // point is in a system tree (its passage aside) or a never-offered tree,
  // or its root is, inside its filesystem, in a system tree (as located) or
  // in a never-offered tree. The root of a tree with a passage itself is
  // not kept out: its listing shows the passage alone.
  bool KeepsOut(const MountEntry& e) const;

 private:
  // Where a system tree lies inside its filesystem: the device the mount
  // table gives that filesystem, and the tree's path from the filesystem's
  // root ("/usr", or "/@/usr" on a btrfs subvolume "@" mounted as "/").
  struct TreeInFilesystem {
    std::uint64_t device;
    std::string path;
    std::string passage;
  };
  std::vector<TreeInFilesystem> located_;
};

// The upper and work directories of the overlays of a mount table that are
// laid over the system: mounted on "/" or in a system tree, or with a lower
// layer that is "/" or a system tree (by path, or by the identity of its
// root as roots records it). What a live system's persistence or a layered
// /usr keeps there is the system's own, changed: only the overlay shows it
// as it is meant to be seen.
std::vector<std::string> OverlayLayers(const std::vector<MountEntry>& entries,
                                       const SystemTrees& roots);

}  // namespace tidwen

// The trees where the operating system keeps its own files. Files in them
// are the system's, like the files the platform's file list marks as system
// files: never listed, so never offered for deletion.
//
// The trees are the core's kUnixSystemTrees: each kept out whole, or, like
// /var, but for one passage (/var/tmp), which stays in reach as the way to
// it alone. A tree is known by its path and, since a bind mount or another
// mount of the same filesystem reaches it under any path, by the identity
// (device and inode) of its root directory, recorded when the program
// starts. So are the upper and work layers of an overlay laid over the
// system: what they hold is the system's, changed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rules/unix_system_trees.h"

namespace tidwen {

// Whether an absolute POSIX path (without "." or ".." and without a
// trailing "/") is in one of the system trees: a tree's root, or below it
// but not in its passage ("/var" and "/var/log" are, "/var/tmp" is not).
bool InSystemTree(std::string_view posixPath);

// The passage of the tree whose root is at posixPath ("tmp" for "/var");
// empty when there is no tree's root there, or its tree has none.
std::string_view PassageAt(std::string_view posixPath);

// Whether a system tree lies directly below the directory at posixPath, so
// that its subdirectories need checking one by one.
bool HoldsSystemTree(std::string_view posixPath);

// Whether name is what a system tree's root is called in a system's root
// directory ("usr", "var", ...), and that tree's passage.
bool IsSystemTreeName(std::string_view name);
std::string_view PassageOfTreeNamed(std::string_view name);

// Another system's root, as this system's "/", a chroot, a container's or
// a writable snapshot's root: a directory that holds usr and etc
// directories of its own. Its system trees, by name, are the system's as
// this system's are.
inline constexpr std::string_view kSystemRootMarks[] = {"usr", "etc"};

// The root directories of the system trees of this system, by identity.
class SystemTrees {
 public:
  struct Root {
    std::string path;  // as recorded: one of kUnixSystemTrees, or an overlay's layer
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string passage;  // the subdirectory still in reach; empty for none
  };

  // Knows no tree: nothing is left out by identity.
  SystemTrees() = default;
  explicit SystemTrees(std::vector<Root> roots);
  // Looks up each of kUnixSystemTrees on this system, following links (on
  // a merged system /bin leads into /usr: what it leads to is the
  // system's), and the layers of the overlays in /proc/self/mountinfo that
  // are laid over the system (OverlayLayers, kept_mounts.h). A tree that is
  // missing is simply absent.
  static SystemTrees Record();
  // The same with the mount table given.
  static SystemTrees Record(std::string_view mountinfo);

  const std::vector<Root>& Roots() const { return roots_; }
  // The root of a system tree that the directory with this device and
  // inode is; nullptr if none. A few compares: the walk asks it of every
  // subdirectory.
  const Root* RootAt(std::uint64_t device, std::uint64_t inode) const {
    for (const Root& r : roots_) {
      if (r.inode == inode && r.device == device) return &r;
    }
    return nullptr;
  }
  // Whether that directory is the root of a system tree kept out whole.
  bool KeepsOut(std::uint64_t device, std::uint64_t inode) const {
    const Root* root = RootAt(device, inode);
    return root != nullptr && root->passage.empty();
  }
  // Whether the directory at an absolute path lies in a system tree,
  // whatever the path is called: it, or a directory above it, is the root
  // of one, and the way down from there does not go through its passage.
  // Looks at each directory on the way: for a path given from outside, not
  // for a walk.
  bool Holds(std::string_view posixPath) const;

 private:
  std::vector<Root> roots_;
};

}  // namespace tidwen

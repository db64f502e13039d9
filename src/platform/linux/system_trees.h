// The trees where the operating system keeps its own files. Files in them
// are the system's, like the files the platform's file list marks as system
// files: never listed, so never offered for deletion.
//
// A tree is known by its path and, since a bind mount or another mount of
// the same filesystem reaches it under any path, by the identity (device
// and inode) of its root directory, recorded when the program starts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tidwen {

inline constexpr std::array<std::string_view, 12> kSystemTrees = {"/usr",   "/etc",     "/boot",
                                                                  "/opt",   "/var/lib", "/bin",
                                                                  "/sbin",  "/lib",     "/lib32",
                                                                  "/lib64", "/libx32",  "/snap"};

// Whether an absolute POSIX path (without "." or ".." and without a
// trailing "/") is one of the system trees or lies below one.
bool InSystemTree(std::string_view posixPath);

// Whether a system tree lies directly below the directory at posixPath, so
// that its subdirectories need checking one by one.
bool HoldsSystemTree(std::string_view posixPath);

// The root directories of the system trees of this system, by identity.
class SystemTrees {
 public:
  struct Root {
    std::string path;  // one of kSystemTrees
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
  };

  // Knows no tree: nothing is left out by identity.
  SystemTrees() = default;
  explicit SystemTrees(std::vector<Root> roots);
  // Looks up each of kSystemTrees on this system, following links (on a
  // merged system /bin leads into /usr: what it leads to is the system's).
  // A tree that is missing is simply absent.
  static SystemTrees Record();

  const std::vector<Root>& Roots() const { return roots_; }
  // Whether the directory with this device and inode is the root of a
  // system tree. A few compares: the walk asks it of every subdirectory.
  bool IsRoot(std::uint64_t device, std::uint64_t inode) const {
    for (const Root& r : roots_) {
      if (r.inode == inode && r.device == device) return true;
    }
    return false;
  }
  // Whether the directory at an absolute path, or one above it, is the root
  // of a system tree, whatever the path is called. Looks at each directory
  // on the way: for a path given from outside, not for a walk.
  bool Holds(std::string_view posixPath) const;

 private:
  std::vector<Root> roots_;
};

}  // namespace tidwen

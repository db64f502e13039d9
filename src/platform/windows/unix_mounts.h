// The Unix mounts beneath Wine, as its /proc/self/mountinfo lists them, and
// which of them a path leads into. Under Wine a mount point shows as a
// plain folder and the same directory may show at several places (bind
// mounts); the mount table tells which file system, and where in it, a
// Unix path lies, which the volume serial numbers Wine gives (one per
// drive letter) cannot.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidwen {

struct UnixMount {
  std::uint64_t id = 0;
  std::uint64_t parent = 0;
  std::uint64_t device = 0;  // major << 32 | minor
  std::string root;          // the directory of its file system shown here
  std::string point;         // where it is mounted
  std::string type;          // the file system's type, "ext4", "proc"
};

class UnixMounts {
 public:
  UnixMounts() = default;
  // From the text of a mountinfo file; lines that cannot be read are left
  // out.
  static UnixMounts Parse(std::string_view mountinfo);

  // Every mount, in the order listed, hidden ones included.
  const std::vector<UnixMount>& All() const { return mounts_; }
  // Whether a mount can be reached by a path: not mounted over, nor on a
  // mount that is.
  bool Visible(const UnixMount& mount) const;
  // The mount that a real path (absolute, no link on the way) lies on:
  // the visible one mounted at the longest leading part of it. nullptr
  // when none is.
  const UnixMount* MountOf(std::string_view path) const;
  // Where in its file system a real path lies: the mount's device and the
  // path from that file system's root. Nothing when no mount holds it.
  struct Place {
    std::uint64_t device = 0;
    std::string path;
  };
  std::optional<Place> PlaceOf(std::string_view path) const;

  // Whether path is below (or, with orSame, at) folder, name by name.
  static bool Inside(std::string_view path, std::string_view folder, bool orSame);
  // Whether a file system of this type holds the kernel's or the system's
  // running state (proc, sysfs, devpts, cgroup, ...), not files on storage.
  static bool IsPseudoType(std::string_view type);

 private:
  std::vector<UnixMount> mounts_;
  std::vector<bool> visible_;
};

}  // namespace tidwen

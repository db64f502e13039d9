// Real NTFS drives for the tests and the benchmark of the Master File Table
// reader: images made with mkntfs, on loop devices of their sector size,
// mounted with ntfs-3g in a private mount namespace (see PrivateMounts in
// mount_support.h).
#pragma once

#include <sys/types.h>

#include <string>

namespace tidwen::test {

struct NtfsGeometry {
  int sector;
  int cluster;
};

// An image in dir (dir/ntfs.img), mounted at dir/mnt. ntfs-3g runs in the
// foreground as a child of this process and ends with it, and the loop
// device lets go of the image once nothing holds it: a failed test leaves no
// mount and no device behind.
class NtfsImage {
 public:
  explicit NtfsImage(std::string dir);
  ~NtfsImage();
  NtfsImage(const NtfsImage&) = delete;
  NtfsImage& operator=(const NtfsImage&) = delete;

  // Makes an image of megabytes with mkntfs and mounts it; returns "" or
  // why it cannot be made here (no root, no loop devices, no ntfs-3g).
  std::string Make(NtfsGeometry geometry, int megabytes);
  // Mounts the image again, on a loop device of its own; "" or why not.
  std::string Mount(bool readOnly = false);
  // Unmounts, and waits until ntfs-3g has written everything and ended.
  std::string Unmount();

  const std::string& Image() const { return image_; }
  const std::string& MountPoint() const { return mountPoint_; }
  // The loop device under the mount, while mounted.
  const std::string& Device() const { return device_; }

 private:
  std::string image_;
  std::string mountPoint_;
  std::string device_;
  int sector_ = 512;
  pid_t daemon_ = -1;
};

}  // namespace tidwen::test

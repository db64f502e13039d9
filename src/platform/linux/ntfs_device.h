// The NTFS volume under a Linux drive, read straight from its block device
// for the Master File Table reader: a drive mounted whole (its root is the
// volume's root directory) by the kernel's ntfs3 or by ntfs-3g (fuseblk),
// whose block device this process may read.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/sys_calls.h"
#include "platform/ntfs/ntfs_bytes.h"

namespace tidwen {

// The volume's device, open for reading; closed when it goes.
class NtfsDevice final : public VolumeBytes {
 public:
  NtfsDevice(int fd, std::uint64_t device, bool fuse) : fd_(fd), device_(device), fuse_(fuse) {}
  ~NtfsDevice() override;
  NtfsDevice(const NtfsDevice&) = delete;
  NtfsDevice& operator=(const NtfsDevice&) = delete;

  bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override;
  // The device number its files have (st_dev).
  std::uint64_t Device() const { return device_; }
  // Mounted by ntfs-3g, which shows some system files as links, devices,
  // FIFOs and sockets (Interix's types), rather than by ntfs3.
  bool Ntfs3g() const { return fuse_; }
  // The directories of the drive, as paths below its mount point ("a/b"),
  // where another file system is mounted: a walk does not enter them.
  std::vector<std::string> mountsBelow;

 private:
  int fd_;
  std::uint64_t device_;
  bool fuse_;
};

// The device under the drive whose mount point is open at rootFd and lies
// at mountPoint; nullptr when the drive is no whole NTFS volume mounted by
// ntfs3 or ntfs-3g, or its device cannot be read (it takes the right to
// read the disk). The device's bytes are not looked at yet.
std::unique_ptr<NtfsDevice> OpenNtfsDevice(SysCalls& sys, int rootFd, std::string_view mountPoint);

}  // namespace tidwen

#include "platform/linux/ntfs_device.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/mount_info.h"

namespace tidwen {

namespace {

// The record number of an NTFS volume's root directory, which ntfs3 and
// ntfs-3g give as its inode number.
constexpr std::uint64_t kNtfsRootInode = 5;

std::string ReadMountTable() {
  std::string text;
  const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[16384];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (n < 0) text.clear();
  return text;
}

}  // namespace

NtfsDevice::~NtfsDevice() { ::close(fd_); }

bool NtfsDevice::ReadAt(std::uint64_t offset, std::span<std::byte> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n =
        ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::unique_ptr<NtfsDevice> OpenNtfsDevice(SysCalls& sys, int rootFd, std::string_view mountPoint) {
  MountIdentity self;
  if (ReadMountIdentity(sys, rootFd, false, self) != 0 || !self.mountRootKnown || !self.mountRoot ||
      !self.directory || self.inode != kNtfsRootInode) {
    return nullptr;
  }
  const std::string table = ReadMountTable();
  const std::vector<MountEntry> mounts = ParseMountInfo(table);
  const MountEntry* mount = nullptr;
  for (const MountEntry& m : mounts) {
    if (m.id == self.mountId) mount = &m;
  }
  // A bind mount of a directory inside the volume is not the volume.
  if (mount == nullptr || mount->root != "/" ||
      (mount->fsType != "ntfs3" && mount->fsType != "fuseblk") || mount->source.empty() ||
      mount->source.front() != '/') {
    return nullptr;
  }
  const int fd = ::open(mount->source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st {};
  // The device opened must be the very one the mount reads.
  if (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_rdev) != self.device) {
    ::close(fd);
    return nullptr;
  }
  auto device = std::make_unique<NtfsDevice>(fd, self.device, mount->fsType == "fuseblk");
  std::string prefix(mountPoint);
  if (prefix.back() != '/') prefix.push_back('/');
  for (const MountEntry& m : mounts) {
    if (m.mountPoint.size() > prefix.size() && m.mountPoint.starts_with(prefix)) {
      device->mountsBelow.push_back(m.mountPoint.substr(prefix.size()));
    }
  }
  return device;
}

}  // namespace tidwen

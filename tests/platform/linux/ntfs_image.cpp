#include "ntfs_image.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace tidwen::test {

namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

bool IsMountRoot(const std::string& path) {
  struct statx stx {};
  return ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &stx) == 0 &&
         (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

}  // namespace

NtfsImage::NtfsImage(std::string dir) : image_(dir + "/ntfs.img"), mountPoint_(dir + "/mnt") {}

NtfsImage::~NtfsImage() { Unmount(); }

std::string NtfsImage::Make(NtfsGeometry geometry, int megabytes) {
  if (::geteuid() != 0) return "NTFS images need root to be mounted";
  sector_ = geometry.sector;
  const std::string make = "truncate -s " + std::to_string(megabytes) + "M '" + image_ +
                           "' && mkntfs -q -F -f -s " + std::to_string(geometry.sector) + " -c " +
                           std::to_string(geometry.cluster) + " '" + image_ + "' >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) return "cannot make an NTFS image (mkntfs missing?)";
  if (::mkdir(mountPoint_.c_str(), 0755) != 0) return Errno("cannot make " + mountPoint_);
  return Mount();
}

std::string NtfsImage::Mount(bool readOnly) {
  const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
  if (control < 0) return Errno("no loop devices here");
  int loop = -1;
  for (int tries = 0; tries < 20 && loop < 0; ++tries) {
    const int n = ::ioctl(control, LOOP_CTL_GET_FREE);
    if (n < 0) break;
    device_ = "/dev/loop" + std::to_string(n);
    // A container may lack the node of a device the kernel just made.
    ::mknod(device_.c_str(), S_IFBLK | 0660, makedev(7, static_cast<unsigned>(n)));
    const int fd = ::open(device_.c_str(), O_RDWR | O_CLOEXEC);
    const int file = ::open(image_.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    loop_config config{};
    config.fd = static_cast<std::uint32_t>(file);
    config.block_size = static_cast<std::uint32_t>(sector_);
    // Let go of the image once nothing holds the device.
    config.info.lo_flags = LO_FLAGS_AUTOCLEAR | (readOnly ? LO_FLAGS_READ_ONLY : 0);
    if (fd >= 0 && file >= 0 && ::ioctl(fd, LOOP_CONFIGURE, &config) == 0) {
      loop = fd;
    } else if (fd >= 0) {
      ::close(fd);
    }
    if (file >= 0) ::close(file);
  }
  ::close(control);
  if (loop < 0) return Errno("cannot attach a loop device");
  const pid_t parent = ::getpid();
  daemon_ = ::fork();
  if (daemon_ == 0) {
    // ntfs-3g ends, unmounting, when the test's process does.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execlp("ntfs-3g", "ntfs-3g", "-o", readOnly ? "ro,no_detach" : "rw,no_detach",
             device_.c_str(), mountPoint_.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  bool mounted = false;
  for (int i = 0; i < 500 && daemon_ > 0 && !mounted; ++i) {
    mounted = IsMountRoot(mountPoint_);
    int status = 0;
    if (!mounted && ::waitpid(daemon_, &status, WNOHANG) == daemon_) daemon_ = -1;
    if (!mounted) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::close(loop);
  if (!mounted) {
    Unmount();
    return "ntfs-3g cannot mount the image here";
  }
  return "";
}

std::string NtfsImage::Unmount() {
  if (daemon_ <= 0) return "";
  ::umount2(mountPoint_.c_str(), 0);
  // Unmounting a fuseblk mount waits for ntfs-3g to write everything; it
  // then ends and closes the device, which lets go of the image.
  int status = 0;
  for (int i = 0; i < 500; ++i) {
    if (::waitpid(daemon_, &status, WNOHANG) == daemon_) break;
    if (i == 250) ::kill(daemon_, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  daemon_ = -1;
  // Wait for the device to let go of the image.
  const std::string backing = "/sys/block/" + device_.substr(5) + "/loop/backing_file";
  for (int i = 0; i < 250 && ::access(backing.c_str(), F_OK) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  device_.clear();
  return "";
}

}  // namespace tidwen::test

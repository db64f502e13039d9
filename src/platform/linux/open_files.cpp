#include "platform/linux/open_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tidwen {

Lease TakeWriteLease(SysCalls& sys, int fd) {
  // The signal first: were the lease broken before this, SIGIO would end
  // the program.
  if (sys.Fcntl(fd, F_SETSIG, SIGURG) < 0) return Lease::kUnavailable;
  const int r = sys.Fcntl(fd, F_SETLEASE, F_WRLCK);
  if (r == 0) return Lease::kTaken;
  // EAGAIN: another open file description of the file exists. EBUSY is
  // not documented for leases, but says the same where a kernel gives it.
  if (r == -EAGAIN || r == -EBUSY) return Lease::kInUse;
  return Lease::kUnavailable;
}

namespace {

bool IsPid(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

// Adds the regular files open in the fd directory of one process.
void AddOpen(int procFd, const std::string& pid,
             std::vector<std::pair<std::uint64_t, std::uint64_t>>& files) {
  const int fdDir = ::openat(procFd, (pid + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdDir < 0) return;
  DIR* dir = ::fdopendir(fdDir);
  if (dir == nullptr) {
    ::close(fdDir);
    return;
  }
  while (const dirent* e = ::readdir(dir)) {
    if (!IsPid(e->d_name)) continue;
    // Follows the descriptor's link to the file itself, from the inode the
    // kernel holds: nothing is looked up, and with AT_STATX_DONT_SYNC no
    // network filesystem is asked.
    struct statx stx {};
    if (::statx(fdDir, e->d_name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &stx) != 0 ||
        !S_ISREG(stx.stx_mode)) {
      continue;
    }
    files.emplace_back(makedev(stx.stx_dev_major, stx.stx_dev_minor), stx.stx_ino);
  }
  ::closedir(dir);
}

// Adds the files mapped by one process: "start-end perms offset MM:mm inode
// path" lines, the device in hex.
void AddMapped(int procFd, const std::string& pid,
               std::vector<std::pair<std::uint64_t, std::uint64_t>>& files) {
  const int fd = ::openat(procFd, (pid + "/maps").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::string text;
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    // Skip the address range, the permissions and the offset.
    std::size_t at = 0;
    for (int field = 0; field < 3 && at != std::string_view::npos; ++field) {
      at = line.find(' ', at);
      if (at != std::string_view::npos) ++at;
    }
    if (at == std::string_view::npos) continue;
    const std::string fields(line.substr(at, 64));
    unsigned major = 0;
    unsigned minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(fields.c_str(), "%x:%x %llu", &major, &minor, &inode) != 3 || inode == 0) {
      continue;
    }
    files.emplace_back(makedev(major, minor), inode);
  }
}

}  // namespace

OpenFileSnapshot OpenFileSnapshot::Read() {
  OpenFileSnapshot snapshot;
  const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (procFd < 0) return snapshot;
  DIR* dir = ::fdopendir(::dup(procFd));
  if (dir != nullptr) {
    const std::string own = std::to_string(::getpid());
    while (const dirent* e = ::readdir(dir)) {
      if (!IsPid(e->d_name) || e->d_name == own) continue;
      AddOpen(procFd, e->d_name, snapshot.files_);
      AddMapped(procFd, e->d_name, snapshot.files_);
    }
    ::closedir(dir);
  }
  ::close(procFd);
  std::sort(snapshot.files_.begin(), snapshot.files_.end());
  snapshot.files_.erase(std::unique(snapshot.files_.begin(), snapshot.files_.end()),
                        snapshot.files_.end());
  return snapshot;
}

bool OpenFileSnapshot::Holds(std::uint64_t device, std::uint64_t inode) const {
  return std::binary_search(files_.begin(), files_.end(), std::make_pair(device, inode));
}

}  // namespace tidwen

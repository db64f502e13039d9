#include "support/temp_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tidwen::test {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

// FS_IOC_GETFLAGS and FS_IOC_SETFLAGS are declared with a long, which FUSE
// copies whole; local filesystems keep an int at its start.
bool GetFlags(int fd, int& flags) {
  unsigned char declared[sizeof(long)] = {};
  if (::ioctl(fd, FS_IOC_GETFLAGS, declared) != 0) return false;
  std::memcpy(&flags, declared, sizeof flags);
  return true;
}

bool SetFlags(int fd, int flags) {
  unsigned char declared[sizeof(long)] = {};
  std::memcpy(declared, &flags, sizeof flags);
  return ::ioctl(fd, FS_IOC_SETFLAGS, declared) == 0;
}

// Clears the flags that forbid removal on a regular file or directory. A
// filesystem without such flags has nothing to clear.
void ClearLockFlags(int dirFd, const char* name, mode_t type) {
  if (!S_ISREG(type) && !S_ISDIR(type)) return;
  const int fd = ::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  int flags = 0;
  if (GetFlags(fd, flags) && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0) {
    SetFlags(fd, flags & ~(FS_IMMUTABLE_FL | FS_APPEND_FL));
  }
  ::close(fd);
}

bool IsMountRootAt(int dirFd, const char* name) {
  struct statx stx {};
  return ::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, 0, &stx) == 0 &&
         (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
         (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// Detaches every filesystem mounted on name in dirFd. False when one stays
// (not ours to unmount): what is mounted there is then left alone.
bool DetachMounts(int dirFd, const char* name) {
  for (int stacked = 0; stacked < 16; ++stacked) {
    if (!IsMountRootAt(dirFd, name)) return true;
    const std::string at = "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
    if (::umount2(at.c_str(), MNT_DETACH | UMOUNT_NOFOLLOW) != 0) return false;
  }
  return false;
}

// Removes name in the directory dirFd and everything below it, without
// following links and relative to open directories, so that trees deeper
// than PATH_MAX go too. Best effort: a cleanup must not throw.
void RemoveAt(int dirFd, const char* name) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISDIR(st.st_mode) && !DetachMounts(dirFd, name)) return;
  if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  ClearLockFlags(dirFd, name, st.st_mode);
  if (!S_ISDIR(st.st_mode)) {
    ::unlinkat(dirFd, name, 0);
    return;
  }
  ::fchmodat(dirFd, name, 0700, 0);
  const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    std::vector<std::string> names;
    if (DIR* dir = ::fdopendir(::dup(fd))) {
      while (const dirent* e = ::readdir(dir)) {
        const std::string_view entry = e->d_name;
        if (entry != "." && entry != "..") names.emplace_back(entry);
      }
      ::closedir(dir);
    }
    for (const std::string& entry : names) RemoveAt(fd, entry.c_str());
    ::close(fd);
  }
  ::unlinkat(dirFd, name, AT_REMOVEDIR);
}

void RemoveAll(const std::string& path) { RemoveAt(AT_FDCWD, path.c_str()); }

// The trees this process holds, for EndRemovingTrees: fixed storage, so
// that a signal handler can read it, and the shell's arguments ready made.
constexpr std::size_t kMaxTrees = 64;
constexpr std::size_t kMaxRoot = 512;
std::array<std::array<char, kMaxRoot>, kMaxTrees> heldRoots{};
std::array<pid_t, kMaxTrees> heldBy{};

std::string TempBase() {
  const char* base = std::getenv("TMPDIR");
  return (base != nullptr && *base != '\0') ? base : "/tmp";
}

std::string TreePrefix(pid_t pid) { return "tidwen-test-" + std::to_string(pid) + "-"; }

void Hold(const std::string& root) {
  for (std::size_t i = 0; i < kMaxTrees; ++i) {
    if (heldRoots[i][0] == '\0' && root.size() < kMaxRoot) {
      std::memcpy(heldRoots[i].data(), root.c_str(), root.size() + 1);
      heldBy[i] = ::getpid();
      return;
    }
  }
}

void LetGo(const std::string& root) {
  for (std::size_t i = 0; i < kMaxTrees; ++i) {
    if (heldBy[i] == ::getpid() && root == heldRoots[i].data()) heldRoots[i][0] = '\0';
  }
}

}  // namespace

TempTree::TempTree() {
  std::string pattern = TempBase() + "/" + TreePrefix(::getpid()) + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) Fail("mkdtemp", pattern);
  root_ = buffer.data();
  Hold(root_);
}

TempTree::~TempTree() {
  RemoveAll(root_);
  LetGo(root_);
}

int RemoveTreesOf(pid_t pid) {
  const std::string base = TempBase();
  const std::string prefix = TreePrefix(pid);
  std::vector<std::string> left;
  if (DIR* dir = ::opendir(base.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      if (std::string_view(e->d_name).rfind(prefix, 0) == 0) left.emplace_back(e->d_name);
    }
    ::closedir(dir);
  }
  for (const std::string& name : left) RemoveAll(base + "/" + name);
  return static_cast<int>(left.size());
}

void EndRemovingTrees(int exitCode) {
  // sh -c 'rm -rf -- "$@"; exit N' sh ROOT...: what the process holds, as
  // it stands; nothing here allocates.
  static char script[] = "rm -rf -- \"$@\"; exit 0";
  script[sizeof script - 2] = static_cast<char>('0' + (exitCode & 7));
  std::array<char*, kMaxTrees + 5> argv{};
  std::size_t n = 0;
  argv[n++] = const_cast<char*>("sh");
  argv[n++] = const_cast<char*>("-c");
  argv[n++] = script;
  argv[n++] = const_cast<char*>("sh");
  const pid_t self = ::getpid();
  for (std::size_t i = 0; i < kMaxTrees; ++i) {
    if (heldRoots[i][0] != '\0' && heldBy[i] == self) argv[n++] = heldRoots[i].data();
  }
  argv[n] = nullptr;
  ::execv("/bin/sh", argv.data());
  ::_exit(exitCode);
}

std::string TempTree::Path(std::string_view relative) const {
  if (relative.empty()) return root_;
  std::string path = root_;
  path += '/';
  path += relative;
  return path;
}

void TempTree::MakeDir(std::string_view relative, mode_t mode) {
  // Make each missing component in turn.
  std::size_t at = 0;
  while (at <= relative.size()) {
    std::size_t slash = relative.find('/', at);
    if (slash == std::string_view::npos) slash = relative.size();
    const std::string path = Path(relative.substr(0, slash));
    const bool last = slash == relative.size();
    if (::mkdir(path.c_str(), last ? mode : 0755) != 0) {
      if (errno != EEXIST) Fail("mkdir", path);
    } else if (last && ::chmod(path.c_str(), mode) != 0) {
      Fail("chmod", path);  // mkdir's mode is cut by the umask
    }
    at = slash + 1;
  }
}

namespace {

std::string_view ParentOf(std::string_view relative) {
  const std::size_t slash = relative.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
}

}  // namespace

void TempTree::MakeFile(std::string_view relative, std::string_view bytes, mode_t mode) {
  if (!ParentOf(relative).empty()) MakeDir(ParentOf(relative));
  const std::string path = Path(relative);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail("create", path);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      ::close(fd);
      Fail("write", path);
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (::chmod(path.c_str(), mode) != 0) Fail("chmod", path);
}

void TempTree::MakeSparseFile(std::string_view relative, off_t length) {
  MakeFile(relative);
  const std::string path = Path(relative);
  if (::truncate(path.c_str(), length) != 0) Fail("truncate", path);
}

void TempTree::MakeSymlink(std::string_view relative, const std::string& target) {
  if (!ParentOf(relative).empty()) MakeDir(ParentOf(relative));
  const std::string path = Path(relative);
  if (::symlink(target.c_str(), path.c_str()) != 0) Fail("symlink", path);
}

void TempTree::MakeFifo(std::string_view relative) {
  if (!ParentOf(relative).empty()) MakeDir(ParentOf(relative));
  const std::string path = Path(relative);
  if (::mkfifo(path.c_str(), 0644) != 0) Fail("mkfifo", path);
}

void TempTree::MakeSocket(std::string_view relative) {
  if (!ParentOf(relative).empty()) MakeDir(ParentOf(relative));
  const std::string path = Path(relative);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    Fail("socket path", path);
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket", path);
  const int r = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int saved = errno;
  ::close(fd);  // the socket file stays behind, which is all a test needs
  errno = saved;
  if (r != 0) Fail("bind", path);
}

bool TempTree::Exists(std::string_view relative) const {
  struct stat st {};
  return ::lstat(Path(relative).c_str(), &st) == 0;
}

std::string TempTree::ReadFile(std::string_view relative) const {
  const std::string path = Path(relative);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("open", path);
  std::string bytes;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
    bytes.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  if (n < 0) Fail("read", path);
  return bytes;
}

mode_t TempTree::Mode(std::string_view relative) const {
  struct stat st {};
  const std::string path = Path(relative);
  if (::lstat(path.c_str(), &st) != 0) Fail("lstat", path);
  return st.st_mode & 07777;
}

void TempTree::Chmod(std::string_view relative, mode_t mode) {
  const std::string path = Path(relative);
  if (::chmod(path.c_str(), mode) != 0) Fail("chmod", path);
}

bool TempTree::SetImmutable(std::string_view relative, bool on) {
  const std::string path = Path(relative);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  const bool ok = GetFlags(fd, flags) &&
                  SetFlags(fd, on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL));
  ::close(fd);
  return ok;
}

void TempTree::Remove(std::string_view relative) { RemoveAll(Path(relative)); }

void TempTree::MakeFiles(std::initializer_list<std::string_view> relatives,
                         std::string_view bytes) {
  for (const std::string_view relative : relatives) MakeFile(relative, bytes);
}

std::vector<std::string> TempTree::Names(std::string_view relative) const {
  const int fd = ::open(Path(relative).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {};
  std::vector<std::string> names = NamesIn(fd);
  ::close(fd);
  return names;
}

std::vector<std::string> NamesIn(int dirFd) {
  std::vector<std::string> names;
  const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return names;
  }
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tidwen::test

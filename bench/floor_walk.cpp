#include "floor_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "bench_model.h"

namespace tidwen::bench {

namespace {

struct LinuxDirent64 {
  std::uint64_t ino;
  std::int64_t off;
  unsigned short reclen;
  unsigned char type;
  char name[];
};

// A directory still to open: its NUL-terminated name in the arena and the
// parent's slot.
struct Pending {
  std::uint64_t parentSlot;
  std::uint64_t nameOffset;
};

// An open directory whose subdirectories have not all been opened yet.
struct Slot {
  int fd;
  std::int64_t pendingChildren;
};

void RaiseOpenFileLimit() {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::size_t kBufferSize = 1 << 20;

}  // namespace

FloorResult FloorWalk(const std::string& root) {
  RaiseOpenFileLimit();
  FloorResult result;
  auto buffer = std::make_unique<std::max_align_t[]>(kBufferSize / sizeof(std::max_align_t));
  char* bytes = reinterpret_cast<char*>(buffer.get());
  std::string arena;
  std::vector<Pending> queue;
  std::vector<Slot> slots;

  int fd = open(root.c_str(), kOpenFlags);
  if (fd < 0) {
    ++result.errors;
    return result;
  }
  std::size_t head = 0;
  while (true) {
    ++result.dirs;
    std::uint64_t mySlot = slots.size();
    std::int64_t children = 0;
    while (true) {
      long count = syscall(SYS_getdents64, fd, bytes, kBufferSize);
      if (count <= 0) {
        if (count < 0) ++result.errors;
        break;
      }
      for (long pos = 0; pos < count;) {
        auto* entry = reinterpret_cast<LinuxDirent64*>(bytes + pos);
        pos += entry->reclen;
        const char* name = entry->name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        unsigned char type = entry->type;
        struct stat st {};
        bool statted = false;
        if (type == DT_UNKNOWN) {
          if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ++result.errors;
            continue;
          }
          statted = true;
          type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        if (type == DT_DIR) {
          std::size_t length = std::strlen(name);
          queue.push_back({mySlot, arena.size()});
          arena.append(name, length + 1);  // with its NUL
          ++children;
        } else if (type == DT_REG && name[0] != '.' && std::strchr(name, '\\') == nullptr) {
          if (!statted && fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ++result.errors;
            continue;
          }
          ++result.files;
          result.hits += JunkEntryCount(name, st.st_size == 0);
        }
      }
    }
    if (children > 0) {
      slots.push_back({fd, children});
    } else {
      close(fd);
      slots.push_back({-1, 0});
    }

    // The next directory that can be opened; a parent closes once its last
    // subdirectory is open.
    fd = -1;
    while (fd < 0 && head < queue.size()) {
      const Pending& next = queue[head++];
      Slot& parent = slots[next.parentSlot];
      fd = openat(parent.fd, arena.data() + next.nameOffset, kOpenFlags);
      if (fd < 0) ++result.errors;
      if (--parent.pendingChildren == 0) {
        close(parent.fd);
        parent.fd = -1;
      }
    }
    if (fd < 0) break;
  }
  return result;
}

}  // namespace tidwen::bench

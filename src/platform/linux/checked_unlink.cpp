#include "platform/linux/checked_unlink.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/linux/error_numbers.h"

namespace tidwen {

namespace {

// How many fresh names a move aside tries before it gives up: each is
// taken only if some program made a file of that random name meanwhile.
constexpr int kNameTries = 4;

// renameat2's answer when the filesystem does not take its flags.
bool FlagsRefused(int r) { return r == -EINVAL || r == -ENOSYS || r == -EOPNOTSUPP; }

// What a failed move aside is reported as: a filesystem that cannot rename
// in place refuses the deletion, since it cannot be made safely.
int MoveErrorNumber(int err) {
  if (err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EXDEV || err == EEXIST) {
    return kPermissionDenied;
  }
  return DeleteErrorNumber(err);
}

// Renames name to a fresh name in dir and leaves that name in aside; 0, or
// the negated errno.
int MoveAside(SysCalls& sys, int dir, const char* name, AsideNames& names, std::string& aside) {
  int r = -EEXIST;
  for (int attempt = 0; attempt < kNameTries && r == -EEXIST; ++attempt) {
    aside = names.Next();
    r = sys.RenameAt2(dir, name, dir, aside.c_str(), RENAME_NOREPLACE);
    if (!FlagsRefused(r)) continue;
    // Without RENAME_NOREPLACE: onto a name found free just now. Only a
    // program that made a file of this very random name in the moment
    // between would lose that entry.
    struct stat st {};
    const int look = sys.FStatAt(dir, aside.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    if (look == 0) {
      r = -EEXIST;
    } else if (look != -ENOENT) {
      r = look;
    } else {
      r = sys.RenameAt2(dir, name, dir, aside.c_str(), 0);
    }
  }
  return r;
}

// Puts the entry at aside back under name, never over an entry that took
// the name meanwhile: 0, -EEXIST when the name is taken, or another negated
// errno when it cannot be done (the entry then stays at aside).
int PutBack(SysCalls& sys, int dir, const char* aside, const char* name) {
  int r = sys.RenameAt2(dir, aside, dir, name, RENAME_NOREPLACE);
  if (!FlagsRefused(r)) return r;
  // A hard link under the name fails when the name is taken, as
  // RENAME_NOREPLACE does; then the link at aside goes.
  r = sys.LinkAt(dir, aside, dir, name);
  if (r == 0) {
    sys.UnlinkAt(dir, aside, 0);
    return 0;
  }
  if (r == -EEXIST) return r;
  // Neither: a plain rename onto the name found free just now, as the move
  // aside does. Hidden under a name the user never sees, the file would be
  // as good as lost.
  struct stat st {};
  r = sys.FStatAt(dir, name, &st, AT_SYMLINK_NOFOLLOW);
  if (r == 0) return -EEXIST;
  if (r != -ENOENT) return r;
  return sys.RenameAt2(dir, aside, dir, name, 0);
}

[[noreturn]] void ThrowPutBack(SysCalls& sys, int dir, const std::string& aside,
                               const std::string& name, int number, std::string_view why,
                               std::string_view path, int err) {
  const int back = PutBack(sys, dir, aside.c_str(), name.c_str());
  if (back == 0) throw ErrorFor(number, why, path, err);
  // Both are kept: the user's files come before a tidy directory.
  std::string text(why);
  text += " (its name was taken again meanwhile, so it was kept as ";
  text += aside;
  text += ")";
  throw ErrorFor(number, text, path, err);
}

}  // namespace

AsideNames::AsideNames() {
  if (::getrandom(&state_, sizeof state_, GRND_NONBLOCK) != sizeof state_) {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    state_ = (static_cast<std::uint64_t>(::getpid()) << 32) ^
             static_cast<std::uint64_t>(now.tv_nsec) ^
             (static_cast<std::uint64_t>(now.tv_sec) << 20);
  }
}

std::string AsideNames::Next() {
  // splitmix64: every call a new value, none repeated within 2^64 calls.
  state_ += 0x9e3779b97f4a7c15ULL;
  std::uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  char name[32];
  std::snprintf(name, sizeof name, ".tidwen-%016llx", static_cast<unsigned long long>(z));
  return name;
}

void UnlinkChecked(SysCalls& sys, int dirFd, const std::string& name, FileIdentity file,
                   AsideNames& names, std::string_view path) {
  std::string aside;
  int r = MoveAside(sys, dirFd, name.c_str(), names, aside);
  if (r < 0) throw ErrorFor(MoveErrorNumber(-r), "cannot move aside", path, -r);

  struct stat moved {};
  r = sys.FStatAt(dirFd, aside.c_str(), &moved, AT_SYMLINK_NOFOLLOW);
  if (r == -ENOENT) {
    // Moved on from the hidden name by another program before it could be
    // looked at: whatever it was, it is not here to delete.
    throw ErrorFor(kPermissionDenied, "moved away while being deleted:", path, 0);
  }
  if (r < 0) {
    ThrowPutBack(sys, dirFd, aside, name, GeneralErrorNumber(-r), "cannot look at", path, -r);
  }
  if (static_cast<std::uint64_t>(moved.st_dev) != file.device ||
      static_cast<std::uint64_t>(moved.st_ino) != file.inode) {
    // Another file took the name between the check and the move, as a
    // program saving by rename does: it goes back, whole.
    ThrowPutBack(sys, dirFd, aside, name, kPermissionDenied, "replaced while being deleted:", path,
                 0);
  }
  r = sys.UnlinkAt(dirFd, aside.c_str(), 0);
  if (r < 0) {
    ThrowPutBack(sys, dirFd, aside, name, DeleteErrorNumber(-r), "cannot delete", path, -r);
  }
}

}  // namespace tidwen

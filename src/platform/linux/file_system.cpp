#include "platform/linux/file_system.h"

#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/linux/drive_path.h"
#include "platform/linux/error_numbers.h"

namespace tidwen {

namespace {

// The file at one path, as GetFile found it: its directory and the file
// itself, both open, so that the deletion removes the entry from the very
// directory that was checked, and only while it leads to the very file
// that was checked.
class LinuxFileObject final : public FileObject {
 public:
  LinuxFileObject(LinuxFileSystem& fs, std::shared_ptr<UniqueFd> dir, std::string_view name,
                  const struct stat& st, UniqueFd file, std::string path)
      : fs_(fs),
        dir_(std::move(dir)),
        name_(name),
        mode_(st.st_mode),
        identity_{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
        file_(std::move(file)),
        path_(std::move(path)) {}

  void Delete() override {
    if (deleted_) throw ErrorFor(kFileNotFound, "already deleted:", path_, 0);
    // Read-only means no write bit at all, decided from the mode rather than
    // from access(2), so that it holds for root as well. The mode is the one
    // GetFile saw just before.
    if ((mode_ & 0222) == 0) throw ErrorFor(kPermissionDenied, "read-only file:", path_, 0);
    UnlinkChecked(fs_.Sys(), dir_->Get(), name_, identity_, fs_.Names(), path_);
    deleted_ = true;
    // Closing the last descriptor frees the file, and ends the lease.
    file_.Reset();
  }

 private:
  LinuxFileSystem& fs_;
  std::shared_ptr<UniqueFd> dir_;
  std::string name_;
  mode_t mode_;
  FileIdentity identity_;
  UniqueFd file_;  // leased; invalid when the file could not be opened for reading
  std::string path_;
  bool deleted_ = false;
};

constexpr int kCheckOpen = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// What the descriptor fd shows of its file, in st, and its birth time
// where the filesystem keeps one. False when it cannot be looked at.
bool LookAtOpenFile(SysCalls& sys, int fd, struct stat& st, std::optional<std::int64_t>& birthNs) {
  struct statx stx {};
  if (sys.StatX(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &stx) < 0) return false;
  st = {};
  st.st_mode = stx.stx_mode;
  st.st_dev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  st.st_ino = stx.stx_ino;
  st.st_size = static_cast<off_t>(stx.stx_size);
  st.st_mtim = {stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec};
  birthNs.reset();
  if ((stx.stx_mask & STATX_BTIME) != 0) {
    birthNs = static_cast<std::int64_t>(stx.stx_btime.tv_sec) * 1000000000 + stx.stx_btime.tv_nsec;
  }
  return true;
}

class LinuxFileSystemObject final : public FileSystemObject {
 public:
  explicit LinuxFileSystemObject(LinuxFileSystem& fs) : fs_(fs) {}

  // The file is opened for reading, without blocking and without following
  // a link, which has no effect on a regular file: from there on the checks
  // are of this very file, and so is the deletion. It is leased at once, so
  // that a file in use is refused and a file that is not stays unused, and
  // unwritten, until it is deleted. A file that cannot be opened so (no read
  // permission) is looked at by name instead, and in use as /proc says.
  std::unique_ptr<FileObject> GetFile(std::string_view path, const FileStamp& expected) override {
    LinuxFileSystem::Parent parent = fs_.OpenParent(path);
    SysCalls& sys = fs_.Sys();
    std::string name(parent.name);
    int fd = sys.OpenAt(parent.dir->Get(), name.c_str(), kCheckOpen, 0);
    if (fd == -ENOENT && parent.cached) {
      // The directory kept open by the batch may have been replaced since;
      // what counts is the file at the path now.
      fs_.DropCachedParent();
      parent = fs_.OpenParent(path);
      fd = sys.OpenAt(parent.dir->Get(), name.c_str(), kCheckOpen, 0);
    }
    UniqueFd file(sys, fd);
    struct stat st {};
    std::optional<std::int64_t> birthNs;
    if (fd >= 0) {
      const Lease lease = TakeWriteLease(sys, fd);
      if (lease == Lease::kInUse) throw ErrorFor(kPermissionDenied, "in use:", path, 0);
      if (!LookAtOpenFile(sys, fd, st, birthNs)) throw ErrorFor(kFileNotFound, "gone:", path, 0);
      if (!S_ISREG(st.st_mode)) throw ErrorFor(kFileNotFound, "not a regular file:", path, 0);
      if (lease == Lease::kUnavailable) RefuseHeld(st, path);
    } else if (fd == -EACCES || fd == -EPERM) {
      const int r = sys.FStatAt(parent.dir->Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
      if (r < 0) throw ErrorFor(FileErrorNumber(-r), "cannot find", path, -r);
      if (!S_ISREG(st.st_mode)) throw ErrorFor(kFileNotFound, "not a regular file:", path, 0);
      RefuseHeld(st, path);
    } else if (fd == -EMFILE || fd == -ENFILE) {
      throw ErrorFor(kTooManyFiles, "cannot open", path, -fd);
    } else if (fd == -EWOULDBLOCK) {
      // Another program holds a lease on it, and would be asked to let go.
      throw ErrorFor(kPermissionDenied, "leased by another program:", path, 0);
    } else {
      // A socket opens as ENXIO: no regular file either.
      throw ErrorFor(fd == -ENXIO ? kFileNotFound : FileErrorNumber(-fd), "cannot open", path, -fd);
    }
    if (expected.known) {
      // Another file under the same name, or a file that has been written
      // since the scan: not what the user chose to delete. A file made under
      // the name of a deleted one often gets its inode number too, and on a
      // coarse clock its times as well; its birth time or generation tells
      // them apart where the filesystem keeps one.
      if (expected.device != static_cast<std::uint64_t>(st.st_dev) ||
          expected.inode != static_cast<std::uint64_t>(st.st_ino)) {
        throw ErrorFor(kPermissionDenied, "replaced since the scan:", path, 0);
      }
      if (expected.empty && st.st_size != 0) {
        throw ErrorFor(kPermissionDenied, "changed since the scan:", path, 0);
      }
      if (expected.version != 0 && StampNow(sys, parent.dir->Get(), name.c_str(), st, file, birthNs,
                                            expected.identity) != expected.version) {
        throw ErrorFor(kPermissionDenied, "changed since the scan:", path, 0);
      }
    }
    return std::make_unique<LinuxFileObject>(fs_, std::move(parent.dir), name, st, std::move(file),
                                             std::string(path));
  }

 private:
  // Refuses, with 70, a file that another process has open or mapped as
  // /proc lists them: for a file that cannot be leased.
  void RefuseHeld(const struct stat& st, std::string_view path) {
    if (fs_.OpenFiles().Holds(static_cast<std::uint64_t>(st.st_dev),
                              static_cast<std::uint64_t>(st.st_ino))) {
      throw ErrorFor(kPermissionDenied, "in use:", path, 0);
    }
  }

  // The version of the stamp of the file st describes, with the identity
  // read from the open file where there is one, else by name; 0 when it
  // cannot be read.
  static std::uint64_t StampNow(SysCalls& sys, int dirFd, const char* name, const struct stat& st,
                                const UniqueFd& file, const std::optional<std::int64_t>& birthNs,
                                StampIdentity identity) {
    if (!file.Valid()) return StampOfFileAs(sys, dirFd, name, st, identity).version;
    if (identity == StampIdentity::kBirthTime) {
      return birthNs ? StampWithBirthTime(st, *birthNs).version : 0;
    }
    if (identity == StampIdentity::kGeneration) {
      std::uint64_t generation = 0;
      if (sys.GetVersion(file.Get(), &generation) < 0) return 0;
      return StampWithGeneration(st, generation).version;
    }
    return StampOfFileAs(sys, dirFd, name, st, StampIdentity::kNone).version;
  }

  LinuxFileSystem& fs_;
};

}  // namespace

namespace {

std::int64_t Nanoseconds(std::int64_t seconds, std::int64_t nanoseconds) {
  return seconds * 1000000000 + nanoseconds;
}

// The value of identity for the file st describes, read afresh; nullopt when
// the filesystem does not offer it, or the name no longer leads to that
// file.
std::optional<std::uint64_t> ReadIdentity(SysCalls& sys, int dirFd, const char* name,
                                          const struct stat& st, StampIdentity identity) {
  switch (identity) {
    case StampIdentity::kNone:
      return 0;
    case StampIdentity::kBirthTime: {
      struct statx stx {};
      const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
      if (sys.StatX(dirFd, name, flags, STATX_INO | STATX_BTIME, &stx) < 0) return std::nullopt;
      if ((stx.stx_mask & STATX_BTIME) == 0 || stx.stx_ino != st.st_ino) return std::nullopt;
      return static_cast<std::uint64_t>(Nanoseconds(stx.stx_btime.tv_sec, stx.stx_btime.tv_nsec));
    }
    case StampIdentity::kGeneration: {
      // The generation is asked of an open file. Opening a regular file
      // read-only, without blocking and without following a link, has no
      // effect on it.
      const int fd =
          sys.OpenAt(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
      // Out of descriptors says nothing about the file: not a changed file
      // (which a missing generation would make it) but a system short of
      // descriptors, as everywhere else.
      if (fd == -EMFILE || fd == -ENFILE) throw ErrorFor(kTooManyFiles, "cannot open", name, -fd);
      if (fd < 0) return std::nullopt;
      const UniqueFd file(sys, fd);
      struct stat opened {};
      std::uint64_t generation = 0;
      if (sys.FStat(fd, &opened) < 0 || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev ||
          sys.GetVersion(fd, &generation) < 0) {
        return std::nullopt;
      }
      return generation;
    }
  }
  return std::nullopt;
}

FileStamp StampWith(const struct stat& st, StampIdentity identity, std::uint64_t value) {
  return FileStamp{static_cast<std::uint64_t>(st.st_dev),
                   static_cast<std::uint64_t>(st.st_ino),
                   st.st_size == 0,
                   true,
                   identity,
                   StampVersion(st.st_size, Nanoseconds(st.st_mtim.tv_sec, st.st_mtim.tv_nsec),
                                identity, value)};
}

}  // namespace

FileStamp StampOfFile(SysCalls& sys, int dirFd, const char* name, const struct stat& st) {
  for (const StampIdentity identity : {StampIdentity::kBirthTime, StampIdentity::kGeneration}) {
    if (const std::optional<std::uint64_t> value = ReadIdentity(sys, dirFd, name, st, identity)) {
      return StampWith(st, identity, *value);
    }
  }
  return StampWith(st, StampIdentity::kNone, 0);
}

FileStamp StampWithBirthTime(const struct stat& st, std::int64_t birthNs) {
  return StampWith(st, StampIdentity::kBirthTime, static_cast<std::uint64_t>(birthNs));
}

FileStamp StampWithGeneration(const struct stat& st, std::uint64_t generation) {
  return StampWith(st, StampIdentity::kGeneration, generation);
}

FileStamp StampOfFileAs(SysCalls& sys, int dirFd, const char* name, const struct stat& st,
                        StampIdentity identity) {
  const std::optional<std::uint64_t> value = ReadIdentity(sys, dirFd, name, st, identity);
  FileStamp stamp = StampWith(st, identity, value.value_or(0));
  if (!value) stamp.version = 0;
  return stamp;
}

std::unique_ptr<FileSystemObject> LinuxFileSystem::CreateFileSystemObject() {
  return std::make_unique<LinuxFileSystemObject>(*this);
}

void LinuxFileSystem::DropCachedParent() {
  cachedParent_.reset();
  cachedParentPath_.clear();
}

void LinuxFileSystem::EndBatch() noexcept {
  if (batchDepth_ > 0) --batchDepth_;
  if (batchDepth_ == 0) ReleaseKept();
}

const OpenFileSnapshot& LinuxFileSystem::OpenFiles() {
  if (!openFiles_ || batchDepth_ == 0) openFiles_ = OpenFileSnapshot::Read();
  return *openFiles_;
}

void LinuxFileSystem::ReleaseKept() noexcept {
  openFiles_.reset();
  cachedParent_.reset();
  cachedParentPath_.clear();
  cachedRoot_.Reset();
  cachedRootLetter_ = 0;
}

LinuxFileSystem::Parent LinuxFileSystem::OpenParent(std::string_view path) {
  const ParentAndName split = SplitParent(path);
  if (split.name.empty()) {
    if (!ParseDrivePath(drives_, path)) throw ErrorFor(kBadFileName, "not a file path:", path, 0);
    throw ErrorFor(kFileNotFound, "not a file:", path, 0);
  }
  const bool inBatch = batchDepth_ > 0;
  if (inBatch && cachedParent_ && SameDrivePath(cachedParentPath_, split.parent)) {
    // Same directory as the last deletion. The name still needs checking:
    // the parent alone vouches for nothing after it.
    if (!IsSingleName(split.name)) throw ErrorFor(kBadFileName, "not a file path:", path, 0);
    return Parent{cachedParent_, split.name, true};
  }

  const std::optional<DrivePath> parsed = ParseDrivePath(drives_, path);
  if (!parsed) throw ErrorFor(kBadFileName, "not a file path:", path, 0);

  UniqueFd ownRoot;
  int rootFd;
  if (inBatch && cachedRoot_.Valid() && cachedRootLetter_ == parsed->drive->letter) {
    rootFd = cachedRoot_.Get();
  } else {
    rootFd = opener_.OpenMountPoint(*parsed->drive);
    if (rootFd < 0) throw ErrorFor(MountErrorNumber(-rootFd), "drive not ready:", path, -rootFd);
    if (inBatch) {
      cachedRoot_ = UniqueFd(sys_, rootFd);
      cachedRootLetter_ = parsed->drive->letter;
    } else {
      ownRoot = UniqueFd(sys_, rootFd);
    }
  }

  if (inBatch) {
    // Whatever was kept is for another directory now.
    cachedParent_.reset();
    cachedParentPath_.clear();
  }
  const int dirFd = opener_.OpenBeneath(rootFd, parsed->ParentRelative(), O_PATH);
  if (dirFd < 0) throw ErrorFor(FileErrorNumber(-dirFd), "cannot reach", path, -dirFd);
  auto dir = std::make_shared<UniqueFd>(sys_, dirFd);
  if (inBatch) {
    cachedParent_ = dir;
    cachedParentPath_.assign(split.parent);
  }
  return Parent{std::move(dir), split.name, false};
}

}  // namespace tidwen

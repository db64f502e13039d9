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
        size_(st.st_size),
        modified_(st.st_mtim),
        identity_{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
        file_(std::move(file)),
        path_(std::move(path)) {}

  void Delete() override {
    if (deleted_) throw ErrorFor(kFileNotFound, "already deleted:", path_, 0);
    // Read-only means no write bit at all, decided from the mode rather than
    // from access(2), so that it holds for root as well. The mode is the one
    // GetFile saw just before.
    if ((mode_ & 0222) == 0) throw ErrorFor(kPermissionDenied, "read-only file:", path_, 0);
    // A file another process has open or mapped is in use: a log being
    // written, a lock held, a program's output. The lease, once taken, keeps
    // others from opening it until the deletion is done.
    const Lease lease =
        file_.Valid() ? TakeWriteLease(fs_.Sys(), file_.Get()) : Lease::kUnavailable;
    if (lease == Lease::kInUse || (lease == Lease::kUnavailable &&
                                   fs_.OpenFiles().Holds(identity_.device, identity_.inode))) {
      throw ErrorFor(kPermissionDenied, "in use by another process:", path_, 0);
    }
    // Written since GetFile looked, in the moment before the lease: once it
    // is held, nobody else has the file open, so nothing writes to it.
    if (file_.Valid() && ChangedSinceLooked()) {
      throw ErrorFor(kPermissionDenied, "changed while being deleted:", path_, 0);
    }
    UnlinkChecked(fs_.Sys(), dir_->Get(), name_, identity_, fs_.Names(), path_);
    deleted_ = true;
    // Closing the last descriptor frees the file, and ends the lease.
    file_.Reset();
  }

 private:
  bool ChangedSinceLooked() {
    struct statx stx {};
    if (fs_.Sys().StatX(file_.Get(), "", AT_EMPTY_PATH, STATX_SIZE | STATX_MTIME, &stx) < 0) {
      return true;
    }
    return static_cast<off_t>(stx.stx_size) != size_ || stx.stx_mtime.tv_sec != modified_.tv_sec ||
           stx.stx_mtime.tv_nsec != modified_.tv_nsec;
  }

  LinuxFileSystem& fs_;
  std::shared_ptr<UniqueFd> dir_;
  std::string name_;
  mode_t mode_;
  off_t size_;
  struct timespec modified_;
  FileIdentity identity_;
  UniqueFd file_;  // invalid when the file could not be opened for reading
  std::string path_;
  bool deleted_ = false;
};

// The file name of dirFd, opened for reading to be checked and leased: the
// descriptor, or none when it cannot be opened so (no read permission) and
// must be checked by name. Opening a regular file read-only, without
// blocking and without following a link, has no effect on it. Throws
// RuntimeError: 67 out of descriptors, 70 when another program holds a
// lease on it (the open would wait), 53 when it is gone or a link now.
UniqueFd OpenToCheck(SysCalls& sys, int dirFd, const char* name, std::string_view path) {
  const int fd =
      sys.OpenAt(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd >= 0) return UniqueFd(sys, fd);
  if (fd == -EMFILE || fd == -ENFILE) throw ErrorFor(kTooManyFiles, "cannot open", path, -fd);
  if (fd == -EWOULDBLOCK) throw ErrorFor(kPermissionDenied, "leased by another process:", path, 0);
  if (fd == -ENOENT || fd == -ELOOP || fd == -ENOTDIR) {
    throw ErrorFor(kFileNotFound, "cannot open", path, -fd);
  }
  return UniqueFd();
}

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

  std::unique_ptr<FileObject> GetFile(std::string_view path, const FileStamp& expected) override {
    LinuxFileSystem::Parent parent = fs_.OpenParent(path);
    SysCalls& sys = fs_.Sys();
    std::string name(parent.name);
    struct stat st {};
    int r = sys.FStatAt(parent.dir->Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    if (r == -ENOENT && parent.cached) {
      // The directory kept open by the batch may have been replaced since;
      // what counts is the file at the path now.
      fs_.DropCachedParent();
      parent = fs_.OpenParent(path);
      r = sys.FStatAt(parent.dir->Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    }
    if (r < 0) throw ErrorFor(FileErrorNumber(-r), "cannot find", path, -r);
    if (!S_ISREG(st.st_mode)) throw ErrorFor(kFileNotFound, "not a regular file:", path, 0);
    // From here on the file is the one open: whatever the name leads to
    // later, the checks are of this file, and so is the deletion.
    UniqueFd file = OpenToCheck(sys, parent.dir->Get(), name.c_str(), path);
    std::optional<std::int64_t> birthNs;
    if (file.Valid()) {
      if (!LookAtOpenFile(sys, file.Get(), st, birthNs)) {
        throw ErrorFor(kFileNotFound, "cannot look at", path, 0);
      }
      if (!S_ISREG(st.st_mode)) throw ErrorFor(kFileNotFound, "not a regular file:", path, 0);
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

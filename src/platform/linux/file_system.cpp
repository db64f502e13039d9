#include "platform/linux/file_system.h"

#include <unistd.h>

#include <cerrno>

#include "platform/linux/drive_path.h"
#include "platform/linux/error_numbers.h"

namespace tidwen {

namespace {

// The file at one path, as GetFile found it. It keeps its directory open, so
// the deletion removes the entry from the very directory that was checked,
// by name, and never resolves the full path again.
class LinuxFileObject final : public FileObject {
 public:
  LinuxFileObject(SysCalls& sys, std::shared_ptr<UniqueFd> dir, std::string_view name,
                  mode_t mode, std::string path)
      : sys_(sys), dir_(std::move(dir)), name_(name), mode_(mode), path_(std::move(path)) {}

  void Delete() override {
    if (deleted_) throw ErrorFor(kFileNotFound, "already deleted:", path_, 0);
    // Read-only means no write bit at all, decided from the mode rather than
    // from access(2), so that it holds for root as well. The mode is the one
    // GetFile saw just before.
    if ((mode_ & 0222) == 0) throw ErrorFor(kPermissionDenied, "read-only file:", path_, 0);
    const int r = sys_.UnlinkAt(dir_->Get(), name_.c_str(), 0);
    if (r < 0) throw ErrorFor(DeleteErrorNumber(-r), "cannot delete", path_, -r);
    deleted_ = true;
  }

 private:
  SysCalls& sys_;
  std::shared_ptr<UniqueFd> dir_;
  std::string name_;
  mode_t mode_;
  std::string path_;
  bool deleted_ = false;
};

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
    if (expected.known) {
      // Another file under the same name, or a file that has been written
      // since the scan: not what the user chose to delete. A file made under
      // the name of a deleted one often gets its inode number too; only the
      // change time tells them apart.
      const FileStamp now = StampOfFile(st);
      if (expected.device != now.device || expected.inode != now.inode) {
        throw ErrorFor(kPermissionDenied, "replaced since the scan:", path, 0);
      }
      if ((expected.empty && !now.empty) ||
          (expected.change != 0 && expected.change != now.change)) {
        throw ErrorFor(kPermissionDenied, "changed since the scan:", path, 0);
      }
    }
    return std::make_unique<LinuxFileObject>(sys, std::move(parent.dir), name, st.st_mode,
                                             std::string(path));
  }

 private:
  LinuxFileSystem& fs_;
};

}  // namespace

FileStamp StampOfFile(const struct stat& st) {
  // The whole change time folded into 32 bits, which keeps a list entry
  // small; two different times rarely share a digest. 0 means "none".
  const std::uint64_t nanoseconds =
      static_cast<std::uint64_t>(st.st_ctim.tv_sec) * 1000000000u +
      static_cast<std::uint64_t>(st.st_ctim.tv_nsec);
  std::uint32_t change = static_cast<std::uint32_t>(nanoseconds ^ (nanoseconds >> 32));
  if (change == 0) change = 1;
  return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                   st.st_size == 0, true, change};
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
  if (batchDepth_ > 0) return;
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
    if (rootFd < 0) throw ErrorFor(kDiskNotReady, "drive not ready:", path, -rootFd);
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

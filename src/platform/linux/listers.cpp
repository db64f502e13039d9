#include "platform/linux/listers.h"

#include "platform/linux/drive_path.h"
#include "platform/linux/error_numbers.h"
#include "platform/linux/file_system.h"

namespace tidwen {

int LinuxFileLength::OpenParent(std::string_view path, std::string_view parent, UniqueFd& owned) {
  if (const Listing* open = reader_.FindOpen(parent); open != nullptr && open->Fd() >= 0) {
    // The walk's case: the directory is open, so the name is looked at
    // relative to it without resolving the path again.
    return open->Fd();
  }
  const std::optional<DrivePath> parsed = ParseDrivePath(drives_, path);
  if (!parsed) throw ErrorFor(kBadFileName, "not a file path:", path, 0);
  const int rootFd = opener_.OpenMountPoint(*parsed->drive);
  if (rootFd < 0) throw ErrorFor(MountErrorNumber(-rootFd), "drive not ready:", path, -rootFd);
  const UniqueFd root(sys_, rootFd);
  const int dirFd = opener_.OpenBeneath(rootFd, parsed->ParentRelative(), O_PATH);
  if (dirFd < 0) throw ErrorFor(FileErrorNumber(-dirFd), "cannot reach", path, -dirFd);
  owned = UniqueFd(sys_, dirFd);
  return dirFd;
}

std::int64_t LinuxFileLength::FileLen(std::string_view path) {
  const ParentAndName split = SplitParent(path);
  if (split.name.empty()) {
    // A drive's root, or no drive path at all.
    if (!ParseDrivePath(drives_, path)) throw ErrorFor(kBadFileName, "not a file path:", path, 0);
    throw ErrorFor(kFileNotFound, "not a file:", path, 0);
  }
  // Only the name itself needs checking here: the parent is either a
  // directory a lister holds open, or checked on the way from the mount
  // point.
  if (!IsSingleName(split.name)) throw ErrorFor(kBadFileName, "not a file path:", path, 0);

  struct stat st {};
  std::optional<std::int64_t> birth;
  bool indexed = false;
  const Listing* open = reader_.FindOpen(split.parent);
  if (const FileInfo* info = open != nullptr ? open->InfoOf(split.name) : nullptr) {
    // Looked at when the directory was read ahead.
    if (info->err != 0)
      throw ErrorFor(FileErrorNumber(info->err), "cannot measure", path, info->err);
    st.st_mode = info->mode;
    st.st_dev = info->device;
    st.st_ino = info->inode;
    st.st_size = info->size;
    st.st_mtim = info->modified;
    if (info->hasBirth) birth = info->birthNs;
    indexed = open->Indexed();
    probe_.assign(split.name);
  } else {
    UniqueFd owned;
    const int dirFd = OpenParent(path, split.parent, owned);
    probe_.assign(split.name);
    const int r = sys_.FStatAt(dirFd, probe_.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    if (r < 0) throw ErrorFor(FileErrorNumber(-r), "cannot measure", path, -r);
  }
  if (!S_ISREG(st.st_mode)) throw ErrorFor(kFileNotFound, "not a regular file:", path, 0);

  // A failed call leaves the last file measured as it was.
  name_.swap(probe_);
  path_.assign(path);
  last_ = st;
  listedBirth_ = birth;
  indexed_ = indexed;
  measured_ = true;
  lastStamp_.reset();
  return static_cast<std::int64_t>(st.st_size);
}

FileStamp LinuxFileLength::LastStamp() {
  if (!measured_) return {};
  if (lastStamp_) return *lastStamp_;
  if (indexed_) {
    // Which file it is as the mount numbers it (MftWalk::Stamp).
    lastStamp_ = reader_.IndexedStamp(path_, last_, listedBirth_);
    return *lastStamp_;
  }
  if (listedBirth_) {
    // Looked at with its directory, birth time and all.
    lastStamp_ = StampWithBirthTime(last_, *listedBirth_);
    return *lastStamp_;
  }
  // Made only for files that are listed, which are few: reading the birth
  // time or generation may cost a look or an open of its own.
  const ParentAndName split = SplitParent(path_);
  UniqueFd owned;
  int dirFd = -1;
  try {
    dirFd = OpenParent(path_, split.parent, owned);
  } catch (const RuntimeError& error) {
    // Gone since it was measured: what was measured is all there is. A
    // system out of descriptors is said, as everywhere.
    if (error.Number() == kTooManyFiles) throw;
  }
  lastStamp_ = dirFd >= 0 ? StampOfFile(sys_, dirFd, name_.c_str(), last_)
                          : StampOfFileAs(sys_, -1, name_.c_str(), last_, StampIdentity::kNone);
  return *lastStamp_;
}

}  // namespace tidwen

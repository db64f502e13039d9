#include "platform/linux/directory_reader.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "platform/linux/drive_path.h"
#include "platform/linux/error_numbers.h"
#include "platform/linux/read_ahead.h"
#include "platform/linux/system_trees.h"

namespace tidwen {

void Listing::Reset() {
  path_.clear();
  fd_.Reset();
  names_.clear();
  dirs_.clear();
  files_.clear();
  infos_.clear();
  nextInfo_ = 0;
  servedDirs_ = false;
  servedFiles_ = false;
  indexed_ = false;
}

const FileInfo* Listing::InfoOf(std::string_view name) const {
  if (infos_.empty()) return nullptr;
  // A walk asks for the files in their order: try where the last one was
  // found, and the one after it, before searching.
  for (const std::size_t i : {nextInfo_, nextInfo_ + 1}) {
    if (i < files_.size() && NameAt(files_[i]) == name) {
      nextInfo_ = i;
      return &infos_[i];
    }
  }
  const auto found =
      std::lower_bound(files_.begin(), files_.end(), name,
                       [this](NameRef r, std::string_view n) { return NameAt(r) < n; });
  if (found == files_.end() || NameAt(*found) != name) return nullptr;
  nextInfo_ = static_cast<std::size_t>(found - files_.begin());
  return &infos_[nextInfo_];
}

std::size_t Listing::HeldBytes() const {
  return sizeof(Listing) + names_.capacity() + dirs_.capacity() * sizeof(NameRef) +
         files_.capacity() * sizeof(NameRef) + infos_.capacity() * sizeof(FileInfo);
}

DirectoryReader::DirectoryReader(const DriveTable& drives, SysCalls& sys, BeneathOpener& opener,
                                 const SystemTrees& trees)
    : drives_(drives),
      sys_(sys),
      opener_(opener),
      trees_(trees),
      filler_(sys),
      mft_(sys, opener, trees) {}

DirectoryReader::~DirectoryReader() = default;

void DirectoryReader::SetReadAhead(int workers, std::int64_t settledNs) {
  readAhead_.reset();
  readAheadWorkers_ = workers;
  settledNs_ = settledNs;
}

std::shared_ptr<const Listing> DirectoryReader::Read(std::string_view drivePath, Lister lister) {
  if (newest_ < pool_.size()) {
    Listing& newest = *pool_[newest_];
    bool& served = lister == Lister::kDirs ? newest.servedDirs_ : newest.servedFiles_;
    if (!served && !newest.path_.empty() && SameDrivePath(newest.path_, drivePath)) {
      served = true;
      return pool_[newest_];
    }
  }

  const std::optional<DrivePath> parsed = ParseDrivePath(drives_, drivePath);
  if (!parsed) {
    if (readAhead_) readAhead_->Pass(drivePath);
    throw ErrorFor(kBadFileName, "not a directory path:", drivePath, 0);
  }

  const std::shared_ptr<Listing> listing = Recycle();
  const bool root = parsed->relative.empty();
  const bool walkStarts = root || (!walkStart_.empty() && lister == Lister::kDirs &&
                                   SameDrivePath(walkStart_, drivePath));
  const int rootFd = RootFd(*parsed->drive, drivePath, walkStarts);
  if (walkStarts) {
    // A walk starts at a drive's root or a folder: read ahead of it afresh,
    // unless the volume's index is to serve it.
    readAhead_.reset();
    if (readAheadWorkers_ > 0 && !mft_.Prepare(rootFd, parsed->drive->mountPoint)) {
      readAhead_ = StartLinuxReadAhead(sys_, readAheadWorkers_, rootFd, settledNs_);
    }
  }
  // A walk that has gone its way over an NTFS drive is served from the
  // volume's index.
  if (!root && mft_.Fill(*listing, drivePath, *parsed, rootFd,
                         newest_ < pool_.size() ? pool_[newest_].get() : nullptr)) {
    readAhead_.reset();
    return Served(listing, drivePath, lister);
  }
  // A directory read ahead is only looked at and measured from: a path
  // descriptor does, and is opened for reading only when it must be read.
  const bool mayTake = readAhead_ && !walkStarts && lister == Lister::kDirs;
  const int fd = opener_.OpenBeneath(rootFd, parsed->relative, mayTake ? O_PATH : O_RDONLY);
  if (fd < 0) {
    // The walk skips it and goes on with the next.
    if (readAhead_) readAhead_->Pass(drivePath);
    throw ErrorFor(ListErrorNumber(-fd), "cannot open directory", drivePath, -fd);
  }
  listing->fd_ = UniqueFd(sys_, fd);
  // A drive whose root is a system tree lists nothing, or its passage
  // alone. Below the root, a walk reaches only directories that a listing
  // offered, and listings leave the system trees out.
  bool systemRoot = false;
  std::string_view rootPassage;
  if (root) {
    struct stat self {};
    const SystemTrees::Root* tree = sys_.FStat(fd, &self) == 0
                                        ? trees_.RootAt(static_cast<std::uint64_t>(self.st_dev),
                                                        static_cast<std::uint64_t>(self.st_ino))
                                        : nullptr;
    systemRoot = tree != nullptr && tree->passage.empty();
    if (tree != nullptr) rootPassage = tree->passage;
    const std::string& mount = parsed->drive->mountPoint;
    const std::string_view name = std::string_view(mount).substr(mount.rfind('/') + 1);
    if (tree == nullptr && !PassageOfTreeNamed(name).empty() && InSystemRoot(sys_, fd)) {
      rootPassage = PassageOfTreeNamed(name);
    }
  }
  try {
    if (!systemRoot) FillListing(*listing, drivePath, *parsed, lister, mayTake, rootPassage);
  } catch (...) {
    listing->Reset();
    throw;
  }
  listing->path_.assign(drivePath);
  listing->path_[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(drivePath[0])));
  (lister == Lister::kDirs ? listing->servedDirs_ : listing->servedFiles_) = true;
  newest_ =
      static_cast<std::size_t>(std::find(pool_.begin(), pool_.end(), listing) - pool_.begin());
  if (root) mft_.Arm(listing);
  return listing;
}

std::shared_ptr<const Listing> DirectoryReader::Served(const std::shared_ptr<Listing>& listing,
                                                       std::string_view drivePath, Lister lister) {
  listing->path_.assign(drivePath);
  listing->path_[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(drivePath[0])));
  (lister == Lister::kDirs ? listing->servedDirs_ : listing->servedFiles_) = true;
  newest_ =
      static_cast<std::size_t>(std::find(pool_.begin(), pool_.end(), listing) - pool_.begin());
  return listing;
}

FileStamp DirectoryReader::IndexedStamp(std::string_view drivePath, const struct stat& st,
                                        std::optional<std::int64_t> birth) const {
  const std::optional<DrivePath> parsed = ParseDrivePath(drives_, drivePath);
  if (!parsed || parsed->relative.empty()) return {};
  return mft_.Stamp(*parsed, rootFd_.Get(), st, birth);
}

const Listing* DirectoryReader::FindOpen(std::string_view drivePath) const {
  if (newest_ < pool_.size()) {
    const Listing& newest = *pool_[newest_];
    if ((newest.fd_.Valid() || newest.indexed_) && SameDrivePath(newest.path_, drivePath)) {
      return &newest;
    }
  }
  for (const std::shared_ptr<Listing>& l : pool_) {
    if (l.use_count() > 1 && (l->fd_.Valid() || l->indexed_) &&
        SameDrivePath(l->path_, drivePath)) {
      return l.get();
    }
  }
  return nullptr;
}

std::shared_ptr<Listing> DirectoryReader::Recycle() {
  // Only the pool holds a free listing. Prefer one other than the newest, so
  // the newest stays available to the other lister.
  std::size_t pick = pool_.size();
  for (std::size_t i = 0; i < pool_.size(); ++i) {
    if (pool_[i].use_count() != 1) continue;
    pick = i;
    if (i != newest_) break;
  }
  if (pick == pool_.size()) {
    pool_.push_back(std::make_shared<Listing>());
  } else {
    if (pick == newest_) newest_ = static_cast<std::size_t>(-1);
    pool_[pick]->Reset();
  }
  return pool_[pick];
}

int DirectoryReader::RootFd(const Drive& drive, std::string_view drivePath, bool refresh) {
  // Reading a drive's root opens its mount point afresh, so a new walk sees
  // a drive that was mounted again since the last one.
  if (!refresh && rootFd_.Valid() && rootLetter_ == drive.letter) return rootFd_.Get();
  rootFd_.Reset();
  const int fd = opener_.OpenMountPoint(drive);
  if (fd < 0) throw ErrorFor(MountErrorNumber(-fd), "drive not ready:", drivePath, -fd);
  rootFd_ = UniqueFd(sys_, fd);
  rootLetter_ = drive.letter;
  return fd;
}

void DirectoryReader::FillListing(Listing& listing, std::string_view drivePath,
                                  const DrivePath& parsed, Lister lister, bool mayTake,
                                  std::string_view rootPassage) {
  std::shared_ptr<Listing> ahead;
  if (mayTake) {
    ahead = readAhead_->Take(drivePath, LookAtDirectory(sys_, listing.fd_.Get(), settledNs_));
    if (!ahead) {
      // The very directory looked at, opened for reading.
      const int fd = sys_.OpenAt(listing.fd_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
      if (fd < 0) throw ErrorFor(ListErrorNumber(-fd), "cannot open directory", drivePath, -fd);
      listing.fd_ = UniqueFd(sys_, fd);
    }
  }
  if (ahead) {
    // The path leads to the directory that was read, unchanged since: its
    // listing is this one's. Swapping keeps this listing's buffers with the
    // read-ahead's, which drops them.
    listing.names_.swap(ahead->names_);
    listing.dirs_.swap(ahead->dirs_);
    listing.files_.swap(ahead->files_);
    listing.infos_.swap(ahead->infos_);
  } else {
    SystemFilter filter = SystemFilter::For(parsed, trees_);
    if (!rootPassage.empty()) filter.passage = rootPassage;
    filler_.Fill(listing, listing.fd_.Get(), drivePath, filter);
  }
  if (!readAhead_ || lister != Lister::kDirs) return;
  // Its subdirectories come next, after everything expected before.
  std::string path(drivePath);
  if (path.back() != '\\') path.push_back('\\');
  const std::size_t pathBase = path.size();
  std::string relative(parsed.relative);
  if (!relative.empty()) relative.push_back('/');
  const std::size_t relativeBase = relative.size();
  std::vector<AheadDirectory> children;
  children.reserve(static_cast<std::size_t>(listing.DirCount()));
  for (std::int64_t i = 0; i < listing.DirCount(); ++i) {
    const std::string_view name = listing.DirName(i);
    path.resize(pathBase);
    path.append(name);
    relative.resize(relativeBase);
    relative.append(name);
    const DrivePath child{parsed.drive, relative};
    children.push_back({path, relative, SystemFilter::For(child, trees_)});
  }
  readAhead_->Expect(std::move(children));
}

void DirectoryReader::ReleaseHandles() noexcept {
  readAhead_.reset();
  mft_.Release();
  rootFd_.Reset();
  rootLetter_ = 0;
  for (const std::shared_ptr<Listing>& listing : pool_) listing->fd_.Reset();
}

}  // namespace tidwen

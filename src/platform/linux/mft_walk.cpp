#include "platform/linux/mft_walk.h"

#include <algorithm>
#include <cerrno>

#include "model/runtime_error.h"
#include "platform/linux/directory_reader.h"
#include "platform/linux/file_system.h"
#include "platform/linux/ntfs_device.h"
#include "platform/ntfs/mft_reader.h"
#include "rules/never_offered.h"

namespace tidwen {

namespace {

// Interix's marks at the head of a system file, as ntfs-3g reads them:
// "IntxLNK\1", "IntxBLK\0", "IntxCHR\0", little-endian.
constexpr std::uint64_t kInterixLink = 0x014B4E4C78746E49;
constexpr std::uint64_t kInterixBlock = 0x004B4C4278746E49;
constexpr std::uint64_t kInterixCharacter = 0x0052484378746E49;

// FILETIME (100 ns since 1601) as ntfs-3g and ntfs3 give it in a stat.
struct timespec UnixTime(std::uint64_t fileTime) {
  constexpr std::int64_t kEpoch = 116444736000000000;  // 1970 in FILETIME
  const std::int64_t since = static_cast<std::int64_t>(fileTime) - kEpoch;
  std::int64_t seconds = since / 10000000;
  std::int64_t rest = since % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --seconds;
  }
  return {static_cast<time_t>(seconds), static_cast<long>(rest * 100)};
}

// Whether the directory at a is b or lies below it; drive letters in
// either case.
bool AtOrBelow(std::string_view a, std::string_view b) {
  if (a.size() < b.size() || !SameDrivePath(a.substr(0, b.size()), b)) return false;
  return a.size() == b.size() || b.back() == '\\' || a[b.size()] == '\\';
}

std::string Child(std::string_view parent, std::string_view name) {
  std::string path(parent);
  if (path.back() != '\\') path.push_back('\\');
  path.append(name);
  return path;
}

}  // namespace

MftWalk::MftWalk(SysCalls& sys, BeneathOpener& opener, const SystemTrees& trees)
    : sys_(sys), opener_(opener), trees_(trees) {}

MftWalk::~MftWalk() = default;

bool MftWalk::Prepare(int rootFd, std::string_view mountPoint) {
  Release();
  if (enabled_) device_ = OpenNtfsDevice(sys_, rootFd, mountPoint);
  return device_ != nullptr;
}

void MftWalk::Arm(std::shared_ptr<const Listing> root) {
  // The device Prepare opened for this walk, if it did.
  std::unique_ptr<NtfsDevice> device = std::move(device_);
  Release();
  device_ = std::move(device);
  served_ = 0;
  failure_.clear();
  if (!enabled_ || root == nullptr) return;
  state_ = State::kArmed;
  last_ = root->Path();
  root_ = std::move(root);
}

void MftWalk::Release() noexcept {
  state_ = State::kOff;
  root_.reset();
  device_.reset();
  index_.reset();
  listed_.clear();
  mountsBelow_.clear();
  stampDir_.Reset();
  stampParent_.clear();
  identity_.reset();
  indexStamps_ = false;
}

bool MftWalk::Fill(Listing& listing, std::string_view drivePath, const DrivePath& parsed,
                   int rootFd, const Listing* last) {
  if (state_ == State::kOff) return false;
  if (state_ == State::kArmed) {
    const bool related = AtOrBelow(drivePath, last_) || AtOrBelow(last_, drivePath);
    last_.assign(drivePath);
    if (related) return false;
    const bool started = Start(drivePath, parsed, rootFd, last);
    root_.reset();
    if (!started) {
      Release();
      return false;
    }
    state_ = State::kActive;
  }
  const std::optional<std::uint32_t> dir = Resolve(drivePath, parsed);
  if (!dir) return false;
  FillFrom(listing, *dir, drivePath, parsed, true);
  ++served_;
  return true;
}

bool MftWalk::Start(std::string_view drivePath, const DrivePath& parsed, int rootFd,
                    const Listing* last) {
  // Opened when the walk started, or now.
  const std::unique_ptr<NtfsDevice> device =
      device_ ? std::move(device_) : OpenNtfsDevice(sys_, rootFd, parsed.drive->mountPoint);
  if (!device) {
    failure_ = "no NTFS volume whose device can be read";
    return false;
  }
  // ntfs3 gives files' creation times as their birth times, ntfs-3g none.
  MftRead read = ReadMftIndex(*device, {MftOrder::kBytes, device->Ntfs3g(), !device->Ntfs3g()});
  if (!read.index) {
    failure_ = read.failure;
    return false;
  }
  index_ = std::move(read.index);
  deviceNumber_ = device->Device();
  ntfs3g_ = device->Ntfs3g();
  mountsBelow_ = device->mountsBelow;
  std::sort(mountsBelow_.begin(), mountsBelow_.end());
  // The rules must be the driver's: the index lists the directories the
  // walk read itself as it read them, or it is not used.
  const DrivePath root{parsed.drive, ""};
  if (!Agrees(*root_, root)) {
    failure_ = "the index lists the root otherwise";
    return false;
  }
  if (last != nullptr && !last->Path().empty() && !SameDrivePath(last->Path(), drivePath)) {
    const std::size_t cut = std::min(last->Path().size(), std::size_t{3});
    std::string relative(last->Path().substr(cut));
    std::replace(relative.begin(), relative.end(), '\\', '/');
    if (!Agrees(*last, DrivePath{parsed.drive, relative})) {
      failure_ = "the index lists " + last->Path() + " otherwise";
      return false;
    }
  }
  listed_.clear();
  return true;
}

bool MftWalk::Agrees(const Listing& read, const DrivePath& drive) {
  const std::optional<std::uint32_t> dir = Resolve(read.Path(), drive);
  if (!dir) return false;
  Listing mine;
  FillFrom(mine, *dir, read.Path(), drive, false);
  if (mine.DirCount() != read.DirCount() || mine.FileCount() != read.FileCount()) return false;
  for (std::int64_t i = 0; i < mine.DirCount(); ++i) {
    if (mine.DirName(i) != read.DirName(i)) return false;
  }
  for (std::int64_t i = 0; i < mine.FileCount(); ++i) {
    if (mine.FileName(i) != read.FileName(i)) return false;
  }
  return true;
}

std::optional<std::uint32_t> MftWalk::Resolve(std::string_view drivePath, const DrivePath& parsed) {
  // The walk reads the directories listed in the order they were listed,
  // between directories it found otherwise.
  if (!listed_.empty() && listed_.front().first == drivePath) {
    const std::uint32_t dir = listed_.front().second;
    listed_.pop_front();
    return dir;
  }
  return index_->DirectoryAt(parsed.relative, '/');
}

bool MftWalk::InterixSpecial(const MftFile& file, std::uint32_t record) const {
  if (!ntfs3g_ || (file.attributes & kNtfsSystem) == 0) return false;
  // An empty system file is a FIFO, one of a byte a socket, unless hidden.
  if (file.size <= 1) return (file.attributes & kNtfsHidden) == 0;
  const std::uint64_t* head = index_->SystemHead(record);
  return head != nullptr &&
         (*head == kInterixLink || *head == kInterixBlock || *head == kInterixCharacter);
}

bool MftWalk::MountedBelow(const std::string& relative, std::string_view name) const {
  if (mountsBelow_.empty()) return false;
  std::string path = relative;
  if (!path.empty()) path.push_back('/');
  path.append(name);
  return std::binary_search(mountsBelow_.begin(), mountsBelow_.end(), path);
}

void MftWalk::FillFrom(Listing& listing, std::uint32_t dir, std::string_view drivePath,
                       const DrivePath& parsed, bool remember) {
  listing.path_.assign(drivePath);
  listing.indexed_ = true;
  const SystemFilter filter = SystemFilter::For(parsed, trees_);
  // The same rules as ListingFiller::Fill: a tree with a passage lists it
  // alone, and another system's root keeps its system trees.
  const std::string_view passage = PassageOf(dir, parsed, filter);
  const bool files = !filter.files && passage.empty();
  std::size_t marks = 0;
  std::string below;
  std::vector<std::uint32_t> records;  // one per listed directory
  for (const MftIndex::Entry& e : index_->Children(dir)) {
    // The volume's own files are never shown.
    if (e.record < MftIndex::kFirstUserRecord) continue;
    // A "\" cannot be written in a drive path.
    if (MftIndex::HoldsBackslash(e)) continue;
    const std::string_view name = index_->Name(e);
    const MftFile& file = index_->File(e.record);
    // Junctions and links, of any kind: both drivers show a link.
    if (file.Reparse()) continue;
    const Listing::NameRef ref{listing.names_.size(), name.size()};
    if (file.Directory()) {
      marks |= RootMark(name);
      if (!passage.empty() && name != passage) continue;
      if (IsNeverOfferedTree(drivePath, name) || MountedBelow(parsed.relative, name)) continue;
      if (filter.trees != nullptr && filter.trees->KeepsOut(deviceNumber_, e.record)) continue;
      if (!filter.treesBelow.empty()) {
        below.assign(filter.treesBelow);
        if (below.back() != '/') below.push_back('/');
        below.append(name);
        if (InSystemTree(below) && PassageAt(below).empty()) continue;
      }
      listing.dirs_.push_back(ref);
      records.push_back(e.record);
    } else {
      if (name.front() == '.' || !files || InterixSpecial(file, e.record)) continue;
      listing.files_.push_back(ref);
      FileInfo info;
      info.mode = S_IFREG;
      info.device = static_cast<dev_t>(deviceNumber_);
      info.inode = e.record;
      info.size = file.size;
      info.modified = UnixTime(file.modified);
      if (const std::optional<std::uint64_t> created = index_->Created(e.record)) {
        const struct timespec birth = UnixTime(*created);
        info.hasBirth = true;
        info.birthNs = static_cast<std::int64_t>(birth.tv_sec) * 1000000000 + birth.tv_nsec;
      }
      listing.infos_.push_back(info);
    }
    listing.names_.append(name);
  }
  for (std::size_t i = 0; i < listing.dirs_.size(); ++i) {
    const std::string_view name = listing.NameAt(listing.dirs_[i]);
    // Another system's root: its trees are that system's.
    if (marks == kAllRootMarks && IsSystemTreeName(name) && PassageOfTreeNamed(name).empty()) {
      continue;
    }
    if (remember) listed_.emplace_back(Child(drivePath, name), records[i]);
  }
  if (marks == kAllRootMarks) {
    std::erase_if(listing.dirs_, [&listing](Listing::NameRef r) {
      const std::string_view name = listing.NameAt(r);
      return IsSystemTreeName(name) && PassageOfTreeNamed(name).empty();
    });
  }
}

std::size_t MftWalk::RootMark(std::string_view name) {
  for (std::size_t m = 0; m < std::size(kSystemRootMarks); ++m) {
    if (name == kSystemRootMarks[m]) return std::size_t{1} << m;
  }
  return 0;
}

bool MftWalk::HoldsRootMarks(std::uint32_t dir) const {
  std::size_t marks = 0;
  for (const MftIndex::Entry& e : index_->Children(dir)) {
    const MftFile& file = index_->File(e.record);
    if (e.record >= MftIndex::kFirstUserRecord && file.Directory() && !file.Reparse()) {
      marks |= RootMark(index_->Name(e));
    }
  }
  return marks == kAllRootMarks;
}

std::string_view MftWalk::PassageOf(std::uint32_t dir, const DrivePath& parsed,
                                    const SystemFilter& filter) const {
  if (!filter.passage.empty()) return filter.passage;
  if (const SystemTrees::Root* tree = trees_.RootAt(deviceNumber_, dir)) return tree->passage;
  const std::size_t slash = parsed.relative.rfind('/');
  const std::string_view name = slash == std::string::npos
                                    ? std::string_view(parsed.relative)
                                    : std::string_view(parsed.relative).substr(slash + 1);
  const std::string_view passage = PassageOfTreeNamed(name);
  if (name.empty() || passage.empty()) return {};
  // The same tree of another system's root: its parent holds usr and etc.
  const std::optional<std::uint32_t> parent =
      index_->DirectoryAt(slash == std::string::npos
                              ? std::string_view()
                              : std::string_view(parsed.relative).substr(0, slash),
                          '/');
  return parent && HoldsRootMarks(*parent) ? passage : std::string_view();
}

FileStamp MftWalk::Stamp(const DrivePath& file, int rootFd, const struct stat& st,
                         std::optional<std::int64_t> birth) const {
  if (indexStamps_) return IndexStamp(st, birth, *identity_);
  const FileStamp looked = LookedAtStamp(file, rootFd, st);
  if (looked.device != 0 && looked.identity != StampIdentity::kGeneration &&
      looked == IndexStamp(st, birth, looked.identity)) {
    indexStamps_ = true;
  }
  return looked;
}

FileStamp MftWalk::IndexStamp(const struct stat& st, std::optional<std::int64_t> birth,
                              StampIdentity identity) const {
  if (identity == StampIdentity::kBirthTime) {
    return birth ? StampWithBirthTime(st, *birth) : FileStamp{};
  }
  // Nothing to read for no identity: the stamp is st's alone.
  return StampOfFileAs(sys_, -1, "", st, StampIdentity::kNone);
}

FileStamp MftWalk::LookedAtStamp(const DrivePath& file, int rootFd, const struct stat& st) const {
  const std::string_view parent = file.ParentRelative();
  const std::string_view name =
      std::string_view(file.relative).substr(parent.empty() ? 0 : parent.size() + 1);
  // A stamp that no file will match: the deletion then refuses.
  FileStamp none{0, 0, st.st_size == 0, true, StampIdentity::kNone, 1};
  if (rootFd < 0) return none;
  if (!stampDir_.Valid() || stampParent_ != parent) {
    stampDir_.Reset();
    stampParent_.assign(parent);
    const int fd = opener_.OpenBeneath(rootFd, parent, O_PATH);
    if (fd == -EMFILE || fd == -ENFILE) throw RuntimeError(kTooManyFiles, "cannot stamp a file");
    if (fd < 0) return none;
    stampDir_ = UniqueFd(sys_, fd);
  }
  const std::string nameZ(name);
  struct stat live {};
  if (sys_.FStatAt(stampDir_.Get(), nameZ.c_str(), &live, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(live.st_mode)) {
    return none;
  }
  // Which file it is, as the mount says; what it held when it was listed.
  live.st_size = st.st_size;
  live.st_mtim = st.st_mtim;
  if (identity_) {
    const FileStamp stamp = StampOfFileAs(sys_, stampDir_.Get(), nameZ.c_str(), live, *identity_);
    if (stamp.version != 0) return stamp;
  }
  const FileStamp stamp = StampOfFile(sys_, stampDir_.Get(), nameZ.c_str(), live);
  identity_ = stamp.identity;
  return stamp;
}

}  // namespace tidwen

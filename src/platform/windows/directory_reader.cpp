#include "platform/windows/directory_reader.h"

#include <cstring>
#include <optional>

#include "platform/windows/error_numbers.h"
#include "platform/windows/file_stamp_win.h"
#include "platform/windows/kept_out.h"
#include "platform/windows/win32.h"
#include "platform/windows/win_path.h"
#include "platform/wtf8.h"
#include "rules/never_offered.h"

namespace tidwen {

const WinListedFile* WinListing::FindFile(std::string_view name) const {
  // The walk measures each file right after the one before it.
  for (std::size_t i = cursor_; i < files_.size() && i < cursor_ + 2; ++i) {
    if (NameAt(files_[i].name) == name) {
      cursor_ = i;
      return &files_[i].info;
    }
  }
  if (index_.empty() && !files_.empty()) {
    index_.reserve(files_.size());
    for (std::size_t i = 0; i < files_.size(); ++i) index_.emplace(NameAt(files_[i].name), i);
  }
  const auto found = index_.find(name);
  if (found == index_.end()) return nullptr;
  cursor_ = found->second;
  return &files_[found->second].info;
}

std::size_t WinListing::HeldBytes() const {
  return sizeof(WinListing) + path_.capacity() + names_.capacity() +
         dirs_.capacity() * sizeof(NameRef) + files_.capacity() * sizeof(FileEntry);
}

namespace {

// Most directories come in one call of this size.
constexpr std::size_t kEntryBufferBytes = std::size_t{64} * 1024;

bool IsDotOrDotDot(std::wstring_view name) { return name == L"." || name == L".."; }

std::uint64_t Quad(const LARGE_INTEGER& value) {
  return static_cast<std::uint64_t>(value.QuadPart);
}

// A 128-bit file ID folded into 64 bits as FileIdOf folds it.
std::uint64_t Fold(const FILE_ID_128& id) {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::memcpy(&low, id.Identifier, sizeof low);
  std::memcpy(&high, id.Identifier + sizeof low, sizeof high);
  return high == 0 ? low : low ^ (high * 0x9e3779b97f4a7c15ULL);
}

// One entry of a listing, from either kind of record.
struct RawEntry {
  std::wstring_view name;
  DWORD attributes;
  WinListedFile file;
};

template <class Record>
RawEntry EntryOf(const Record& r, std::uint64_t fileId) {
  RawEntry e;
  e.name = std::wstring_view(r.FileName, r.FileNameLength / sizeof(wchar_t));
  e.attributes = r.FileAttributes;
  e.file.size = static_cast<std::int64_t>(Quad(r.EndOfFile));
  e.file.lastWrite = Quad(r.LastWriteTime);
  e.file.creation = Quad(r.CreationTime);
  e.file.fileId = fileId;
  return e;
}

// The directory at dir, opened for listing without following a reparse
// point, and what a look at it finds. Throws RuntimeError.
struct OpenDirectory {
  UniqueHandle handle;
  DirectoryIdentity identity;
};

// withId: the look takes the directory's volume and file ID too, which
// costs two more calls to the system (each a trip to the server under Wine).
OpenDirectory Open(const WinDrivePath& dir, std::int64_t settledNs, bool withId) {
  // The clock first: a change after it shows as a newer change time.
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  OpenDirectory open;
  open.handle = UniqueHandle(
      CreateFileW(dir.longPath.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!open.handle.Valid()) {
    throw WinErrorFor(GetLastError(), WinDoing::kListing, "cannot open", dir.path);
  }
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(open.handle.Get(), FileBasicInfo, &basic, sizeof basic)) {
    throw WinErrorFor(GetLastError(), WinDoing::kListing, "cannot look at", dir.path);
  }
  // Below the root no reparse point: the walk never enters one, but a
  // directory may have been replaced by a junction since it was listed.
  // Asked of the path as well, for a system (Wine) whose handle follows a
  // link whatever it is asked.
  if (!dir.IsRoot()) {
    const DWORD attributes = GetFileAttributesW(dir.longPath.c_str());
    if (((attributes != INVALID_FILE_ATTRIBUTES ? attributes : 0) | basic.FileAttributes) &
        FILE_ATTRIBUTE_REPARSE_POINT) {
      throw WinError(kPathFileAccess, "a reparse point:", dir.path);
    }
  }
  if (!(basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    throw WinError(kPathNotFound, "not a directory:", dir.path);
  }
  if (!withId) return open;
  const WinFileId id = FileIdOf(open.handle.Get());
  DirectoryIdentity& identity = open.identity;
  identity.device = id.volume;
  identity.inode = id.file;
  identity.changed = basic.ChangeTime.QuadPart;
  identity.incarnation = Quad(basic.CreationTime);
  identity.known =
      id.file != 0 &&
      basic.ChangeTime.QuadPart < static_cast<std::int64_t>(FileTimeValue(now)) - settledNs / 100;
  return open;
}

}  // namespace

WinDirectoryReader::WinDirectoryReader(WinKeptOut& kept)
    : kept_(kept), buffer_(kEntryBufferBytes / sizeof(std::uint64_t)), mft_(kept) {}

WinDirectoryReader::~WinDirectoryReader() = default;

void WinDirectoryReader::ReadEntries(const WinDrivePath& dir, void* handle, WinListing& listing,
                                     std::vector<std::uint64_t>& buffer) {
  std::string& names = listing.names_;
  const WinShown shown = kept_.ShownOf(WinKeptOut::LastNameOf(dir.longPath), handle);
  const WinListedDirectory listed{handle, listing.volume_};
  const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
  bool shortIds = shortIdVolume_.load(std::memory_order_relaxed) == listing.volume_;
  bool first = true;
  while (true) {
    const FILE_INFO_BY_HANDLE_CLASS kind =
        shortIds ? FileIdBothDirectoryInfo : FileIdExtdDirectoryInfo;
    if (!GetFileInformationByHandleEx(handle, kind, buffer.data(), bytes)) {
      const DWORD error = GetLastError();
      if (error == ERROR_NO_MORE_FILES) return;
      // An empty root has not even "." and "..".
      if (first && error == ERROR_FILE_NOT_FOUND) return;
      if (first && !shortIds &&
          (error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_LEVEL ||
           error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION)) {
        // No 128-bit IDs here (Wine, FAT): the 64-bit ones are the file
        // index, which FileIdOf gives for such a volume too.
        shortIds = true;
        shortIdVolume_.store(listing.volume_, std::memory_order_relaxed);
        continue;
      }
      throw WinErrorFor(error, WinDoing::kListing, "cannot list", listing.Path());
    }
    first = false;
    const char* at = reinterpret_cast<const char*>(buffer.data());
    while (true) {
      RawEntry entry;
      ULONG next;
      if (shortIds) {
        const auto& r = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
        entry = EntryOf(r, Quad(r.FileId));
        next = r.NextEntryOffset;
      } else {
        const auto& r = *reinterpret_cast<const FILE_ID_EXTD_DIR_INFO*>(at);
        entry = EntryOf(r, Fold(r.FileId));
        next = r.NextEntryOffset;
      }
      at += next;
      const DWORD attributes = entry.attributes;
      // Junctions and symbolic links are never walked nor deleted through,
      // so that a link back up the tree cannot make the walk go round.
      const bool skip = IsDotOrDotDot(entry.name) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
      const bool isDir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (skip || (!isDir && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))) {
        if (next == 0) break;
        continue;
      }
      // The system's folders and the trees of other tools are not the
      // user's. A subdirectory's file ID comes with the listing.
      if (isDir ? kept_.KeptOut(shown, entry.name, entry.file.fileId, listed)
                : !WinKeptOut::ShowsFiles(shown)) {
        if (next == 0) break;
        continue;
      }
      const std::size_t offset = names.size();
      AppendWtf8(entry.name, names);
      const WinListing::NameRef ref{offset, names.size() - offset};
      // A tree that version control, a package manager or a toolchain
      // keeps, told by its name and its parents' names in any case.
      if (isDir && IsNeverOfferedTree(dir.path, std::string_view(names).substr(offset),
                                      /*ignoreAsciiCase=*/true)) {
        names.resize(offset);
        if (next == 0) break;
        continue;
      }
      if (isDir) {
        listing.dirs_.push_back(ref);
      } else {
        listing.files_.push_back({ref, entry.file});
      }
      if (next == 0) break;
    }
  }
}

std::shared_ptr<const WinListing> WinDirectoryReader::Read(std::string_view drivePath,
                                                           WinLister lister) {
  const std::optional<WinDrivePath> dir = ParseWinDrivePath(drivePath);
  if (!dir) {
    if (readAhead_) readAhead_->Pass(drivePath);
    throw WinError(kBadFileName, "not a directory path:", drivePath);
  }

  if (newest_ && newest_->path_ == dir->path) {
    bool& served = lister == WinLister::kDirs ? newest_->servedDirs_ : newest_->servedFiles_;
    if (!served) {
      served = true;
      return newest_;
    }
  }

  const bool walkStarts =
      dir->IsRoot() || (!walkStart_.empty() && SameWinPath(dir->path, walkStart_));
  if (walkStarts) {
    // A walk starts here: read ahead of it afresh, and under Wine learn
    // the mounts anew, while no thread of a read-ahead asks.
    readAhead_.reset();
    if (kept_.UnderWine()) kept_.Refresh();
    if (readAheadWorkers_ > 0) {
      readAhead_ = std::make_unique<ReadAhead>(
          [this]() -> ReadAhead::Reader {
            auto buffer = std::make_shared<std::vector<std::uint64_t>>(kEntryBufferBytes /
                                                                       sizeof(std::uint64_t));
            return [this, buffer](const WinAheadDirectory& d) { return ReadAheadOf(d, *buffer); };
          },
          readAheadWorkers_, ReadAheadLimits{});
    }
  }
  // A walk that has gone its way over an NTFS drive is served from the
  // volume's index.
  if (!walkStarts) {
    if (std::shared_ptr<WinListing> indexed = mft_.Fill(*dir, newest_.get())) {
      readAhead_.reset();
      (lister == WinLister::kDirs ? indexed->servedDirs_ : indexed->servedFiles_) = true;
      newest_ = indexed;
      return indexed;
    }
  }
  std::optional<OpenDirectory> open;
  const bool taking = readAhead_ && !walkStarts && lister == WinLister::kDirs;
  try {
    open.emplace(Open(*dir, settledNs_, taking));
  } catch (...) {
    // The walk skips it and goes on with the next.
    if (readAhead_) readAhead_->Pass(dir->path);
    throw;
  }

  std::shared_ptr<WinListing> listing;
  if (taking) listing = readAhead_->Take(dir->path, open->identity);
  if (!listing) {
    listing = std::make_shared<WinListing>();
    listing->path_ = dir->path;
    // The volume, asked once a walk, serves the directories below its start,
    // which it never leaves through a reparse point.
    if (walkStarts || volumeLetter_ != dir->path[0]) {
      volume_ = FileIdOf(open->handle.Get()).volume;
      volumeLetter_ = dir->path[0];
    }
    listing->volume_ = taking ? open->identity.device : volume_;
    ReadEntries(*dir, open->handle.Get(), *listing, buffer_);
  }
  open.reset();  // nothing stays open on the drive
  (lister == WinLister::kDirs ? listing->servedDirs_ : listing->servedFiles_) = true;
  newest_ = listing;
  if (readAhead_ && lister == WinLister::kDirs) ExpectChildren(*listing);
  if (walkStarts && dir->IsRoot()) mft_.Arm(listing);
  return listing;
}

void WinDirectoryReader::ExpectChildren(const WinListing& listing) {
  std::vector<WinAheadDirectory> children;
  children.reserve(listing.dirs_.size());
  std::string path = listing.path_;
  if (path.back() != '\\') path.push_back('\\');
  const std::size_t base = path.size();
  for (const WinListing::NameRef& ref : listing.dirs_) {
    path.resize(base);
    path.append(listing.NameAt(ref));
    children.push_back({path});
  }
  readAhead_->Expect(std::move(children));
}

WinDirectoryReader::ReadAhead::Read WinDirectoryReader::ReadAheadOf(
    const WinAheadDirectory& directory, std::vector<std::uint64_t>& buffer) {
  ReadAhead::Read read;
  try {
    const std::optional<WinDrivePath> dir = ParseWinDrivePath(directory.drivePath);
    if (!dir) return read;
    OpenDirectory open = Open(*dir, settledNs_, true);
    // A directory that cannot vouch for its listing is left to the walk.
    if (!open.identity.known) return read;
    auto listing = std::make_shared<WinListing>();
    listing->path_ = dir->path;
    listing->volume_ = open.identity.device;
    ReadEntries(*dir, open.handle.Get(), *listing, buffer);
    read.identity = open.identity;
    read.bytes = listing->HeldBytes();
    read.listing = std::move(listing);
  } catch (const std::exception&) {
    // Left to the walk, which meets the same failure at its turn.
  }
  return read;
}

void WinDirectoryReader::SetReadAhead(int workers, std::int64_t settledNs) {
  readAhead_.reset();
  readAheadWorkers_ = workers;
  settledNs_ = settledNs;
}

void WinDirectoryReader::SetWalkStart(std::string drivePath) { walkStart_ = std::move(drivePath); }

void WinDirectoryReader::ReleaseHandles() noexcept {
  readAhead_.reset();
  mft_.Release();
}

}  // namespace tidwen

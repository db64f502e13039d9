#include "platform/windows/directory_reader.h"

#include <optional>

#include "platform/windows/error_numbers.h"
#include "platform/windows/kept_out.h"
#include "platform/windows/win32.h"
#include "platform/windows/win_path.h"
#include "platform/wtf8.h"

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

namespace {

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

std::wstring EntryPath(const WinDrivePath& dir, const wchar_t* name) {
  return dir.longPath + (dir.IsRoot() ? L"" : L"\\") + name;
}

}  // namespace

void WinDirectoryReader::ReadEntries(const WinDrivePath& dir, WinListing& listing) const {
  std::string& names = listing.names_;
  const WinShown shown = kept_.ShownOf(WinKeptOut::LastNameOf(dir.longPath),
                                      [&] { return FolderIdOf(dir.longPath); });
  const std::wstring pattern = SearchPattern(dir);
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                              nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // An empty root has not even "." and "..".
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return;
    throw WinErrorFor(error, WinDoing::kListing, "cannot list", listing.Path());
  }
  struct FindCloser {
    HANDLE h;
    ~FindCloser() { FindClose(h); }
  } closer{h};
  do {
    const DWORD attributes = found.dwFileAttributes;
    if (IsDotOrDotDot(found.cFileName)) continue;
    // Junctions and symbolic links are never walked nor deleted through, so
    // that a link back up the tree cannot make the walk go round.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    const bool isDir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!isDir && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) continue;
    // The system's folders and the trees of other tools are not the user's.
    const auto idOf = [&] { return FolderIdOf(EntryPath(dir, found.cFileName)); };
    if (isDir ? kept_.KeptOut(shown, found.cFileName, idOf) : !WinKeptOut::ShowsFiles(shown)) continue;
    const std::size_t offset = names.size();
    AppendWtf8(std::wstring_view(found.cFileName), names);
    const WinListing::NameRef ref{offset, names.size() - offset};
    if (isDir) {
      listing.dirs_.push_back(ref);
    } else {
      WinListedFile info;
      info.size = static_cast<std::int64_t>(Join64(found.nFileSizeHigh, found.nFileSizeLow));
      info.lastWrite = FileTimeValue(found.ftLastWriteTime);
      listing.files_.push_back({ref, info});
    }
  } while (FindNextFileW(h, &found));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) {
    throw WinErrorFor(error, WinDoing::kListing, "cannot list", listing.Path());
  }
}

std::shared_ptr<const WinListing> WinDirectoryReader::Read(std::string_view drivePath,
                                                           WinLister lister) {
  const std::optional<WinDrivePath> dir = ParseWinDrivePath(drivePath);
  if (!dir) throw WinError(kBadFileName, "not a directory path:", drivePath);

  if (newest_ && newest_->path_ == dir->path) {
    bool& served = lister == WinLister::kDirs ? newest_->servedDirs_ : newest_->servedFiles_;
    if (!served) {
      served = true;
      return newest_;
    }
  }

  // The directory itself: there, a directory, and below the root no
  // reparse point (the walk never enters one, but a directory may have been
  // replaced by a junction since it was listed).
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(dir->longPath.c_str(), GetFileExInfoStandard, &data)) {
    throw WinErrorFor(GetLastError(), WinDoing::kListing, "cannot open", dir->path);
  }
  if (!dir->IsRoot() && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    throw WinError(kPathFileAccess, "a reparse point:", dir->path);
  }
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    throw WinError(kPathNotFound, "not a directory:", dir->path);
  }

  auto listing = std::make_shared<WinListing>();
  listing->path_ = dir->path;
  ReadEntries(*dir, *listing);
  (lister == WinLister::kDirs ? listing->servedDirs_ : listing->servedFiles_) = true;
  newest_ = listing;
  return listing;
}

}  // namespace tidwen

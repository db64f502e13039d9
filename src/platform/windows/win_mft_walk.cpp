#include "platform/windows/win_mft_walk.h"

#include <algorithm>
#include <vector>

#include "platform/ntfs/mft_reader.h"
#include "platform/windows/directory_reader.h"
#include "platform/windows/file_stamp_win.h"
#include "platform/windows/kept_out.h"
#include "platform/windows/win32.h"
#include "platform/wtf8.h"
#include "rules/never_offered.h"

namespace tidwen {

namespace {

// A volume open for reading its sectors. A volume handle reads whole
// sectors into memory aligned to them: every read goes through a buffer of
// whole pages.
class WinVolume final : public VolumeBytes {
 public:
  explicit WinVolume(HANDLE h) : h_(h) {}
  ~WinVolume() override {
    if (buffer_ != nullptr) VirtualFree(buffer_, 0, MEM_RELEASE);
  }
  WinVolume(const WinVolume&) = delete;
  WinVolume& operator=(const WinVolume&) = delete;

  bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
    constexpr DWORD kPiece = DWORD{4} << 20;
    if (buffer_ == nullptr) {
      buffer_ = VirtualAlloc(nullptr, kPiece, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
      if (buffer_ == nullptr) return false;
    }
    std::size_t done = 0;
    while (done < out.size()) {
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(kPiece, out.size() - done));
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>((offset + done) & 0xFFFFFFFF);
      at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
      DWORD got = 0;
      if (!ReadFile(h_.Get(), buffer_, piece, &got, &at) || got != piece) return false;
      std::memcpy(out.data() + done, buffer_, piece);
      done += piece;
    }
    return true;
  }

 private:
  UniqueHandle h_;
  void* buffer_ = nullptr;
};

bool AtOrBelow(std::string_view a, std::string_view b) {
  if (a.size() < b.size() || !SameWinPath(a.substr(0, b.size()), b)) return false;
  return a.size() == b.size() || b.back() == '\\' || a[b.size()] == '\\';
}

std::string Child(std::string_view parent, std::string_view name) {
  std::string path(parent);
  if (path.back() != '\\') path.push_back('\\');
  path.append(name);
  return path;
}

// The names of a listing's directories and files, each set in byte order.
std::vector<std::string_view> SortedNames(const WinListing& l, bool dirs) {
  std::vector<std::string_view> names;
  const std::int64_t count = dirs ? l.DirCount() : l.FileCount();
  for (std::int64_t i = 0; i < count; ++i) names.push_back(dirs ? l.DirName(i) : l.FileName(i));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

WinMftWalk::~WinMftWalk() = default;

void WinMftWalk::Arm(std::shared_ptr<const WinListing> root) {
  Release();
  served_ = 0;
  if (!enabled_ || root == nullptr) return;
  state_ = State::kArmed;
  last_ = root->Path();
  root_ = std::move(root);
}

void WinMftWalk::Release() noexcept {
  state_ = State::kOff;
  root_.reset();
  index_.reset();
  listed_.clear();
}

std::shared_ptr<WinListing> WinMftWalk::Fill(const WinDrivePath& dir, const WinListing* last) {
  if (state_ == State::kOff) return nullptr;
  if (state_ == State::kArmed) {
    const bool related = AtOrBelow(dir.path, last_) || AtOrBelow(last_, dir.path);
    last_ = dir.path;
    if (related) return nullptr;
    const bool started = Start(dir, last);
    root_.reset();
    if (!started) {
      Release();
      return nullptr;
    }
    state_ = State::kActive;
  }
  const std::optional<std::uint32_t> record = Resolve(dir);
  if (!record) return nullptr;
  auto listing = std::make_shared<WinListing>();
  FillFrom(*listing, *record, dir, true);
  ++served_;
  return listing;
}

bool WinMftWalk::Start(const WinDrivePath& dir, const WinListing* last) {
  const wchar_t letter = static_cast<wchar_t>(dir.path[0] - 'a' + 'A');
  const std::wstring device = std::wstring(L"\\\\.\\") + letter + L":";
  // Others go on reading and writing the volume while it is read here.
  HANDLE h = CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  WinVolume volume(h);
  MftRead read = ReadMftIndex(volume, {MftOrder::kCollation, false, true});
  if (!read.index) return false;
  index_ = std::move(read.index);
  volume_ = root_->Volume();
  const std::wstring rootPath = std::wstring(L"\\\\?\\") + letter + L":\\";
  const std::optional<WinFileId> rootId = FolderIdOf(rootPath);
  referencesAreIds_ = rootId && rootId->file == index_->Reference(MftIndex::kRoot);
  // The rules must be the reader's: the index lists the directories the
  // walk read itself as it read them, or it is not used.
  if (!Agrees(*root_) || (last != nullptr && last != root_.get() && !Agrees(*last))) return false;
  listed_.clear();
  return true;
}

bool WinMftWalk::Agrees(const WinListing& read) {
  const std::optional<WinDrivePath> dir = ParseWinDrivePath(read.Path());
  if (!dir) return false;
  const std::optional<std::uint32_t> record = Resolve(*dir);
  if (!record) return false;
  WinListing mine;
  FillFrom(mine, *record, *dir, false);
  // The same names; their order is NTFS's in both, where the system lists
  // the directory from the disk.
  return SortedNames(mine, true) == SortedNames(read, true) &&
         SortedNames(mine, false) == SortedNames(read, false);
}

std::optional<std::uint32_t> WinMftWalk::Resolve(const WinDrivePath& dir) {
  // The walk reads the directories listed in the order they were listed,
  // between directories it found otherwise.
  if (!listed_.empty() && listed_.front().first == dir.path) {
    const std::uint32_t record = listed_.front().second;
    listed_.pop_front();
    return record;
  }
  return index_->DirectoryAt(std::string_view(dir.path).substr(3), '\\');
}

void WinMftWalk::FillFrom(WinListing& listing, std::uint32_t record, const WinDrivePath& dir,
                          bool remember) {
  listing.path_ = dir.path;
  listing.volume_ = volume_;
  std::string& names = listing.names_;
  const WinShown shown = kept_.ShownOfId(WinKeptOut::LastNameOf(dir.longPath),
                                         WinFileId{volume_, index_->Reference(record)});
  // The index's directories are known by their references on this volume.
  const WinListedDirectory listed{nullptr, volume_};
  std::wstring wide;
  for (const MftIndex::Entry& e : index_->Children(record)) {
    // The volume's own files are never listed.
    if (e.record < MftIndex::kFirstUserRecord) continue;
    const MftFile& file = index_->File(e.record);
    const std::string_view name = index_->Name(e);
    // Reparse points are never walked nor deleted through, hidden and
    // system files never listed. A name holding "\" (written by another
    // system) could not be reached by its path.
    const bool isDir = file.Directory();
    if (file.Reparse() || (!isDir && (file.attributes & (kNtfsHidden | kNtfsSystem)) != 0) ||
        MftIndex::HoldsBackslash(e)) {
      continue;
    }
    if (isDir) {
      wide.clear();
      AppendFromWtf8(name, wide);
      if (kept_.KeptOut(shown, wide, index_->Reference(e.record), listed) ||
          IsNeverOfferedTree(dir.path, name, /*ignoreAsciiCase=*/true)) {
        continue;
      }
    } else if (!WinKeptOut::ShowsFiles(shown)) {
      continue;
    }
    const WinListing::NameRef ref{names.size(), name.size()};
    names.append(name);
    if (isDir) {
      listing.dirs_.push_back(ref);
      if (remember) listed_.emplace_back(Child(dir.path, name), e.record);
    } else {
      const std::uint64_t id = referencesAreIds_ ? index_->Reference(e.record) : 0;
      listing.files_.push_back({ref, WinListedFile{file.size, file.modified,
                                                   index_->Created(e.record).value_or(0), id}});
    }
  }
}

}  // namespace tidwen

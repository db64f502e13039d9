#include "platform/windows/kept_out.h"

#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "platform/windows/win32.h"
#include "platform/windows/win_path.h"
#include "platform/wtf8.h"
#include "rules/never_offered.h"

namespace tidwen {

namespace {

bool SameNameIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring LongForm(const std::wstring& path) {
  if (path.starts_with(L"\\\\")) return path;  // "\\?\..." or a network path as it is
  return L"\\\\?\\" + path;
}

std::wstring LastName(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) out = path;
  CoTaskMemFree(path);
  return out;
}

// Backup semantics open a directory; a reparse point is opened itself,
// never what it points at (but under Wine, which opens a Unix link
// through).
UniqueHandle OpenFolder(const std::wstring& longPath) {
  return UniqueHandle(
      CreateFileW(longPath.c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// The names of a path below its volume, and the way to open the path of
// the first n of them. A Windows path is "C:\a\b" or "\\server\share\a";
// a Unix one "/a/b".
struct SplitPath {
  std::wstring volume;  // "\\?\C:", "\\?\UNC\server\share", or "\\?\unix"
  std::vector<std::wstring> names;
  wchar_t separator = L'\\';

  std::wstring Prefix(std::size_t n) const {
    std::wstring path = volume;
    for (std::size_t i = 0; i < n; ++i) path += separator + names[i];
    return path;
  }
};

SplitPath Split(std::wstring_view path, bool unix) {
  SplitPath out;
  std::size_t from = 0;
  if (unix) {
    out.volume = L"\\\\?\\unix";
    out.separator = L'/';
  } else if (path.starts_with(L"\\\\")) {
    // Server and share name the volume.
    const std::size_t share = path.find(L'\\', 2);
    const std::size_t end = share == std::wstring_view::npos ? share : path.find(L'\\', share + 1);
    out.volume = L"\\\\?\\UNC\\" + std::wstring(path.substr(2, end == path.npos ? end : end - 2));
    from = end == std::wstring_view::npos ? path.size() : end;
  } else {
    out.volume = L"\\\\?\\" + std::wstring(path.substr(0, 2));
    from = 2;
  }
  while (from < path.size()) {
    const std::size_t end = path.find(out.separator, from);
    const std::wstring_view name = path.substr(from, end == path.npos ? end : end - from);
    if (!name.empty()) out.names.emplace_back(name);
    from = end == std::wstring_view::npos ? path.size() : end + 1;
  }
  return out;
}

}  // namespace

std::optional<WinFileId> FolderIdOf(const std::wstring& longPath) {
  const UniqueHandle h = OpenFolder(longPath);
  BY_HANDLE_FILE_INFORMATION info;
  if (!h.Valid() || !GetFileInformationByHandle(h.Get(), &info)) return std::nullopt;
  return FileIdOf(h.Get(), info.dwVolumeSerialNumber,
                  Join64(info.nFileIndexHigh, info.nFileIndexLow));
}

WinKeptOut::Folders WinKeptOut::SystemFolders() {
  Folders folders;
  std::wstring windows(MAX_PATH + 1, L'\0');
  const UINT length = GetWindowsDirectoryW(windows.data(), static_cast<UINT>(windows.size()));
  if (length > 0 && length < windows.size()) folders.windows.assign(windows, 0, length);
  for (REFKNOWNFOLDERID id :
       {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86, FOLDERID_ProgramData}) {
    std::wstring path = KnownFolder(id);
    if (!path.empty()) folders.programs.push_back(std::move(path));
  }
  return folders;
}

WinKeptOut::WinKeptOut(Folders folders, std::unique_ptr<WineHost> wine)
    : folders_(std::move(folders)), wine_(std::move(wine)) {
  Refresh();
}

WinKeptOut::WinKeptOut(Folders folders) : WinKeptOut(std::move(folders), WineHost::Detect()) {}

WinKeptOut::~WinKeptOut() = default;

void WinKeptOut::Refresh() {
  trees_.clear();
  files_.clear();
  if (wine_) {
    wine_->ForgetDrives();
    mounts_ = UnixMounts::Parse(WineHost::ReadMountInfo());
  }
  if (!folders_.windows.empty()) {
    std::wstring temp = folders_.windows;
    if (temp.back() != L'\\') temp.push_back(L'\\');
    Add(LongForm(folders_.windows), LongForm(temp + L"Temp"));
  }
  for (const std::wstring& path : folders_.programs) Add(LongForm(path), std::nullopt);
  if (wine_) AddUnixTrees();
  for (const Tree& t : trees_) {
    files_.insert(t.id.file);
    if (t.passage) files_.insert(t.passage->file);
  }
}

bool WinKeptOut::Add(const std::wstring& openPath, std::optional<std::wstring> passage) {
  const UniqueHandle h = OpenFolder(openPath);
  const DWORD attributes = GetFileAttributesW(openPath.c_str());
  // A link (as Wine shows /bin linked to usr/bin) is never walked anyway.
  if (!h.Valid() || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  Tree tree;
  tree.name = LastName(openPath);
  if (!KnownId(h.Get(), tree.id, tree.realPath)) return false;
  if (passage) {
    const UniqueHandle p = OpenFolder(*passage);
    WinFileId id;
    if (p.Valid() && KnownId(p.Get(), id, tree.passageRealPath)) tree.passage = id;
  }
  trees_.push_back(std::move(tree));
  return true;
}

bool WinKeptOut::KnownId(void* handle, WinFileId& id, std::string& realPath) const {
  if (!wine_) {
    id = FileIdOf(handle);
    return id.file != 0;
  }
  // Under Wine a tree whose file system cannot be told is known by its
  // inode alone: it keeps out any directory of that number.
  id = {0, FileNumberOf(handle)};
  if (id.file == 0) return false;
  realPath = wine_->RealPathOf(handle);
  if (const std::optional<UnixMounts::Place> place = mounts_.PlaceOf(realPath)) {
    id.volume = place->device;
  }
  return true;
}

std::uint64_t WinKeptOut::FileNumberOf(void* handle) const {
  return wine_ ? wine_->InodeOf(handle) : FileIdOf(handle).file;
}

std::optional<WinFileId> WinKeptOut::IdOf(void* handle) const {
  if (!wine_) {
    const WinFileId id = FileIdOf(handle);
    return id.file != 0 ? std::optional<WinFileId>(id) : std::nullopt;
  }
  const std::uint64_t inode = wine_->InodeOf(handle);
  const std::optional<UnixMounts::Place> place = mounts_.PlaceOf(wine_->RealPathOf(handle));
  if (inode == 0 || !place) return std::nullopt;
  return WinFileId{place->device, inode};
}

std::optional<WinFileId> WinKeptOut::IdOfChild(const WinListedDirectory& in, std::wstring_view name,
                                               std::uint64_t file) const {
  // A directory known without a handle is known by its volume and number.
  if (!wine_ || in.handle == nullptr) return WinFileId{in.volume, file};
  std::string path = wine_->RealPathOf(in.handle);
  if (path.empty()) return std::nullopt;
  if (path.back() != '/') path.push_back('/');
  path += ToWtf8(name);
  const std::optional<UnixMounts::Place> place = mounts_.PlaceOf(path);
  if (!place) return std::nullopt;
  return WinFileId{place->device, file};
}

bool WinKeptOut::Matches(const WinFileId& kept, std::uint64_t file,
                         const std::optional<WinFileId>& id) const {
  if (kept.file != file) return false;
  if (id && kept.volume == id->volume) return true;
  // Under Wine, when either file system cannot be told, the file number
  // alone decides: a folder is rather kept out than offered.
  return wine_ && (!id || kept.volume == 0);
}

const WinKeptOut::Tree* WinKeptOut::TreeOf(std::uint64_t file,
                                           const std::optional<WinFileId>& id) const {
  const Tree* loose = nullptr;
  for (const Tree& t : trees_) {
    if (!Matches(t.id, file, id)) continue;
    if (id && t.id.volume == id->volume) return &t;
    // Of several, the one kept out whole.
    if (!loose || (loose->passage && !t.passage)) loose = &t;
  }
  return loose;
}

std::wstring_view WinKeptOut::LastNameOf(std::wstring_view longPath) {
  while (!longPath.empty() && longPath.back() == L'\\') longPath.remove_suffix(1);
  const std::size_t cut = longPath.find_last_of(L'\\');
  const std::wstring_view name =
      cut == std::wstring_view::npos ? longPath : longPath.substr(cut + 1);
  // "c:" of "\\?\c:\" is a drive, no name.
  return name.size() == 2 && name[1] == L':' ? std::wstring_view() : name;
}

bool WinKeptOut::MayBeSystemFolder(std::wstring_view name) const {
  if (name.empty() || name.find(L'~') != std::wstring_view::npos) return true;
  for (const Tree& t : trees_) {
    if (SameNameIgnoringCase(name, t.name)) return true;
  }
  return false;
}

WinShown WinKeptOut::ShownOf(std::wstring_view name, void* handle) const {
  if (name.empty()) {
    const WinShown root = ShownOfRoot(handle);
    if (root.kind != WinShown::kAll) return root;
  }
  // On Windows a directory has one name, so only a name that a system
  // folder bears can be one; under Wine any name may be a bind mount.
  if (!wine_ && !MayBeSystemFolder(name)) return {};
  const std::uint64_t file = FileNumberOf(handle);
  if (file == 0 || !files_.contains(file)) return {};
  return ShownOfTree(TreeOf(file, IdOf(handle)));
}

WinShown WinKeptOut::ShownOfId(std::wstring_view name, const WinFileId& id) const {
  if (!wine_ && !MayBeSystemFolder(name)) return {};
  if (id.file == 0 || !files_.contains(id.file)) return {};
  return ShownOfTree(TreeOf(id.file, id));
}

WinShown WinKeptOut::ShownOfTree(const Tree* t) const {
  if (!t) return {};
  if (!t->passage) return {WinShown::kNothing, 0};
  return {WinShown::kPassageOnly, static_cast<std::size_t>(t - trees_.data())};
}

bool WinKeptOut::KeptOut(const WinShown& shown, std::wstring_view name, std::uint64_t file,
                         const WinListedDirectory& in) const {
  switch (shown.kind) {
    case WinShown::kNothing:
      return true;
    case WinShown::kPassageOnly: {
      const Tree& t = trees_[shown.tree];
      return !(t.passage && t.passage->file == file &&
               Matches(*t.passage, file, IdOfChild(in, name, file)));
    }
    case WinShown::kAll:
      break;
  }
  if (!files_.contains(file)) return false;
  // A folder with a passage is listed, as the way to its passage.
  const Tree* t = TreeOf(file, IdOfChild(in, name, file));
  return t && !t->passage;
}

WinShown WinKeptOut::ShownOfRoot(void* handle) const {
  std::wstring path;
  if (wine_) {
    AppendFromWtf8(wine_->RealPathOf(handle), path);
  } else if (const std::optional<std::wstring> final = FinalPathOf(handle)) {
    path = *final;
  }
  if (path.empty()) return {};
  const SplitPath split = Split(path, wine_ != nullptr);
  // A tree never offered, the root itself or a folder it lies in; told by
  // its names, as a listing tells it.
  std::string parent = "x:\\";
  for (std::size_t i = 0; i < split.names.size(); ++i) {
    const std::string name = ToWtf8(std::wstring_view(split.names[i]));
    if (IsNeverOfferedTree(parent, name, /*ignoreAsciiCase=*/true)) return {WinShown::kNothing, 0};
    if (i > 0) parent.push_back('\\');
    parent += name;
  }
  // A kept folder that the root lies in, unless in its passage: each folder
  // above the root, nearest first.
  for (std::size_t n = split.names.size(); n-- > 1;) {
    const UniqueHandle above = OpenFolder(split.Prefix(n));
    const std::uint64_t file = above.Valid() ? FileNumberOf(above.Get()) : 0;
    if (file == 0 || !files_.contains(file)) continue;
    const Tree* t = TreeOf(file, IdOf(above.Get()));
    if (!t) continue;
    if (!t->passage) return {WinShown::kNothing, 0};
    const UniqueHandle below = OpenFolder(split.Prefix(n + 1));
    const std::uint64_t belowFile = below.Valid() ? FileNumberOf(below.Get()) : 0;
    if (!Matches(*t->passage, belowFile, IdOf(below.Get()))) return {WinShown::kNothing, 0};
  }
  return {};
}

}  // namespace tidwen

#include "platform/windows/kept_out.h"

#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "platform/windows/win32.h"

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
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  const std::size_t cut = path.find_last_of(L'\\');
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) out = path;
  CoTaskMemFree(path);
  return out;
}

}  // namespace

std::optional<WinFileId> FolderIdOf(const std::wstring& longPath) {
  // Backup semantics open a directory; the reparse point itself is opened,
  // never what it points at.
  UniqueHandle h(CreateFileW(longPath.c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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

WinKeptOut::WinKeptOut(const Folders& folders) {
  const auto known = [](const std::wstring& path) -> std::optional<Known> {
    if (path.empty()) return std::nullopt;
    const std::optional<WinFileId> id = FolderIdOf(LongForm(path));
    if (!id) return std::nullopt;
    return Known{*id, LastName(path)};
  };
  windows_ = known(folders.windows);
  if (windows_) {
    // Its Temp folder by the name it bears on disk, whatever its case.
    std::wstring temp = folders.windows;
    if (temp.back() != L'\\') temp.push_back(L'\\');
    temp_ = known(temp + L"Temp");
    if (temp_) {
      WIN32_FIND_DATAW found;
      HANDLE h = FindFirstFileW(LongForm(temp + L"Temp").c_str(), &found);
      if (h != INVALID_HANDLE_VALUE) {
        temp_->name = found.cFileName;
        FindClose(h);
      }
    }
  }
  for (const std::wstring& path : folders.programs) {
    if (std::optional<Known> k = known(path)) programs_.push_back(std::move(*k));
  }
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
  if (windows_ && SameNameIgnoringCase(name, windows_->name)) return true;
  for (const Known& k : programs_) {
    if (SameNameIgnoringCase(name, k.name)) return true;
  }
  return false;
}

WinShown WinKeptOut::ShownOfId(const std::optional<WinFileId>& dir) const {
  if (!dir) return WinShown::kAll;
  const auto same = [&](const std::optional<Known>& k) {
    return k && k->id.volume == dir->volume && k->id.file == dir->file;
  };
  if (same(windows_)) return WinShown::kTempOnly;
  for (const Known& k : programs_) {
    if (same(k)) return WinShown::kNothing;
  }
  return WinShown::kAll;
}

WinKeptOut::Role WinKeptOut::RoleOfName(WinShown shown, std::wstring_view name) const {
  if (shown == WinShown::kTempOnly) {
    return temp_ && SameNameIgnoringCase(name, temp_->name) ? Role::kMaybeTemp : Role::kNone;
  }
  for (const Known& k : programs_) {
    if (SameNameIgnoringCase(name, k.name)) return Role::kMaybeKept;
  }
  return Role::kNone;
}

bool WinKeptOut::KeptOutById(WinShown shown, const std::optional<WinFileId>& id) const {
  const auto same = [&](const Known& k) {
    return id && k.id.volume == id->volume && k.id.file == id->file;
  };
  // In the Windows folder only its own Temp folder is listed.
  if (shown == WinShown::kTempOnly) return !(temp_ && same(*temp_));
  for (const Known& k : programs_) {
    if (same(k)) return true;
  }
  return false;
}

}  // namespace tidwen

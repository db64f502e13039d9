#include "platform/windows/drive_list.h"

#include "platform/windows/win32.h"

#include <winnetwk.h>

#include "platform/wtf8.h"

namespace tidwen {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows asks the user to insert a disk when a removable drive without its
// medium is looked at, unless told not to for the duration.
class NoCriticalErrorBoxes {
 public:
  NoCriticalErrorBoxes() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &old_); }
  ~NoCriticalErrorBoxes() { SetThreadErrorMode(old_, nullptr); }
  NoCriticalErrorBoxes(const NoCriticalErrorBoxes&) = delete;
  NoCriticalErrorBoxes& operator=(const NoCriticalErrorBoxes&) = delete;

 private:
  DWORD old_ = 0;
};

std::string RemotePath(wchar_t letter) {
  const wchar_t local[3] = {letter, L':', 0};
  std::wstring remote(MAX_PATH, L'\0');
  DWORD length = static_cast<DWORD>(remote.size());
  DWORD r = WNetGetConnectionW(local, remote.data(), &length);
  if (r == ERROR_MORE_DATA) {
    remote.assign(length, L'\0');
    r = WNetGetConnectionW(local, remote.data(), &length);
  }
  if (r != NO_ERROR) return {};
  return ToWtf8(std::wstring_view(remote.c_str()));
}

std::string VolumeLabel(const wchar_t* root) {
  wchar_t label[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) {
    return {};
  }
  return ToWtf8(std::wstring_view(label));
}

}  // namespace

std::string WinDriveLabel(std::string_view volumeLabel, std::string_view remote) {
  return std::string(remote.empty() ? volumeLabel : remote);
}

WinDriveList WinDriveList::FromSystem() {
  std::wstring roots(256, L'\0');
  DWORD length = GetLogicalDriveStringsW(static_cast<DWORD>(roots.size()), roots.data());
  if (length > roots.size()) {
    roots.assign(length, L'\0');
    length = GetLogicalDriveStringsW(static_cast<DWORD>(roots.size()), roots.data());
  }
  roots.resize(length);

  const NoCriticalErrorBoxes quiet;
  std::vector<WinDrive> drives;
  // "c:\<NUL>d:\<NUL>...<NUL>"
  for (std::size_t at = 0; at < roots.size();) {
    const std::size_t end = roots.find(L'\0', at);
    const std::wstring root =
        roots.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
    at = end == std::wstring::npos ? roots.size() : end + 1;
    if (root.size() < 2 || root[1] != L':' || root[0] > 0x7F) continue;
    const char letter = Lower(static_cast<char>(root[0]));
    WinDrive drive;
    drive.letter = letter;
    drive.root = std::string{letter, ':', '\\'};
    const std::string remote =
        GetDriveTypeW(root.c_str()) == DRIVE_REMOTE ? RemotePath(root[0]) : "";
    drive.label = WinDriveLabel(remote.empty() ? VolumeLabel(root.c_str()) : "", remote);
    drives.push_back(std::move(drive));
  }
  return WinDriveList(std::move(drives));
}

const WinDrive* WinDriveList::Find(char letter) const {
  for (const WinDrive& drive : drives_) {
    if (drive.letter == Lower(letter)) return &drive;
  }
  return nullptr;
}

}  // namespace tidwen

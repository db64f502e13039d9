#include "platform/windows/wine_host.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/windows/file_stamp_win.h"
#include "platform/windows/win32.h"

#include <winternl.h>

#include "platform/windows/win_path.h"
#include "platform/wtf8.h"

namespace tidwen {

namespace {

constexpr int kMostDrives = 26;

UniqueHandle OpenDirectory(const std::wstring& path) {
  return UniqueHandle(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The name under which the directory open at dir lists a subdirectory of
// this file number; empty when none does.
std::string NameOfChild(HANDLE dir, std::uint64_t file) {
  std::vector<std::uint64_t> buffer(8192);
  const auto bytes = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
  while (GetFileInformationByHandleEx(dir, FileIdBothDirectoryInfo, buffer.data(), bytes)) {
    const char* at = reinterpret_cast<const char*>(buffer.data());
    while (true) {
      const auto& r = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      const std::wstring_view name(r.FileName, r.FileNameLength / sizeof(wchar_t));
      if ((r.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(r.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
          static_cast<std::uint64_t>(r.FileId.QuadPart) == file && name != L"." && name != L"..") {
        return ToWtf8(name);
      }
      if (r.NextEntryOffset == 0) break;
      at += r.NextEntryOffset;
    }
  }
  return {};
}

std::string Joined(std::string parent, std::string_view name) {
  if (parent.back() != '/') parent.push_back('/');
  parent.append(name);
  return parent;
}

}  // namespace

std::unique_ptr<WineHost> WineHost::Detect() {
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (!kernel32) return nullptr;
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "wine_get_unix_file_name")));
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto queryFile = reinterpret_cast<QueryFile>(reinterpret_cast<void (*)()>(
      ntdll ? GetProcAddress(ntdll, "NtQueryInformationFile") : nullptr));
  if (!toUnix || !queryFile) return nullptr;
  return std::unique_ptr<WineHost>(new WineHost(toUnix, queryFile));
}

std::uint64_t WineHost::InodeOf(void* handle) const {
  IO_STATUS_BLOCK status;
  FILE_INTERNAL_INFORMATION info{};
  if (queryFile_(handle, &status, &info, sizeof info, FileInternalInformation) != 0) return 0;
  return static_cast<std::uint64_t>(info.IndexNumber.QuadPart);
}

std::string WineHost::UnixPathOf(const std::wstring& dosPath) const {
  char* unix = toUnix_(dosPath.c_str());
  if (!unix) return {};
  std::string out(unix);
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

std::wstring WineHost::OpenPathOf(std::string_view unixPath) {
  std::wstring path = L"\\\\?\\unix";
  AppendFromWtf8(unixPath, path);
  return path;
}

std::string WineHost::RealPathOf(void* handle) const {
  const std::optional<std::wstring> final = FinalPathOf(handle);
  return final ? RealPathOfFinal(*final, 0) : std::string();
}

std::string WineHost::RealPathOfFinal(std::wstring_view final, int depth) const {
  std::string root;
  std::wstring_view rest;
  constexpr std::wstring_view kUnix = L"unix\\";
  if (final.starts_with(kUnix)) {
    // No drive holds it: the Unix path itself.
    root = "/";
    rest = final.substr(kUnix.size());
  } else if (final.size() >= 2 && final[1] == L':') {
    root = RealRootOf(final[0], depth);
    rest = final.substr(std::min<std::size_t>(final.size(), 3));
  }
  if (root.empty()) return {};
  if (rest.empty()) return root;
  std::string path = ToWtf8(rest);
  std::replace(path.begin(), path.end(), '\\', '/');
  return Joined(std::move(root), path);
}

std::string WineHost::RealRootOf(wchar_t letter, int depth) const {
  if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto known = roots_.find(letter);
    if (known != roots_.end()) return known->second;
  }
  if (depth > kMostDrives) return {};
  const std::wstring rootPath{letter, L':', L'\\'};
  std::string unix = UnixPathOf(rootPath);
  while (!unix.empty() && unix.back() == '/') unix.pop_back();
  std::string real;
  if (unix.empty()) {
    real = "/";
  } else {
    // The root's parent, as the kernel finds it past the drive's link, is
    // reached by its Unix path: "\\?\unix/.../dosdevices/d:/..".
    const UniqueHandle root = OpenDirectory(rootPath);
    const UniqueHandle parent = OpenDirectory(OpenPathOf(unix + "/.."));
    const std::optional<std::wstring> parentFinal =
        parent.Valid() ? FinalPathOf(parent.Get()) : std::nullopt;
    const std::uint64_t file = root.Valid() ? FileIdOf(root.Get()).file : 0;
    if (parentFinal && file != 0) {
      if (parentFinal->size() <= 3 && (*parentFinal)[0] == letter) {
        real = "/";  // the drive maps "/": its parent is itself
      } else {
        const std::string parentReal = RealPathOfFinal(*parentFinal, depth + 1);
        const std::string name = NameOfChild(parent.Get(), file);
        if (!parentReal.empty() && !name.empty()) real = Joined(parentReal, name);
      }
    }
  }
  if (real.empty()) return {};
  const std::lock_guard<std::mutex> lock(mutex_);
  roots_[letter] = real;
  return real;
}

std::string WineHost::ReadMountInfo() {
  const UniqueHandle h(CreateFileW(OpenPathOf("/proc/self/mountinfo").c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
  std::string text;
  if (!h.Valid()) return text;
  // The kernel gives its size as 0: read to the end.
  char buffer[16384];
  DWORD got = 0;
  while (ReadFile(h.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  return text;
}

void WineHost::ForgetDrives() {
  const std::lock_guard<std::mutex> lock(mutex_);
  roots_.clear();
}

}  // namespace tidwen

// A temporary directory tree for tests of the Windows platform, made and
// looked at through the wide-character Win32 calls and removed with
// everything in it, read-only files and links included.
#pragma once

#include "platform/windows/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wtf8.h"

namespace tidwen::test {

inline std::wstring Wide(std::string_view wtf8) {
  std::wstring out;
  if (!AppendFromWtf8(wtf8, out)) ADD_FAILURE() << "not WTF-8: " << wtf8;
  return out;
}

inline std::string Narrow(std::wstring_view wide) { return ToWtf8(wide); }

// Removes whatever is at longPath, a whole tree included; a link is removed
// itself and never followed.
inline void RemoveAll(const std::wstring& longPath) {
  const DWORD attributes = GetFileAttributesW(longPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(longPath.c_str(),
                     FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(longPath.c_str());
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((longPath + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      std::vector<std::wstring> names;
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
      } while (FindNextFileW(h, &found));
      FindClose(h);
      for (const std::wstring& name : names) RemoveAll(longPath + L"\\" + name);
    }
  }
  RemoveDirectoryW(longPath.c_str());
}

// A fresh directory under the user's temporary directory. Paths given to
// its members are relative, "\"-separated and WTF-8.
class WinTempTree {
 public:
  WinTempTree() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    EXPECT_GT(length, 0u);
    static std::atomic<int> counter{0};
    std::string base = Narrow(std::wstring_view(temp, length));
    if (!base.empty() && base.back() == '\\') base.pop_back();
    if (!base.empty())
      base[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(base[0])));
    root_ = base + "\\tidwen-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter++);
    RemoveAll(Long(""));
    if (!CreateDirectoryW(Long("").c_str(), nullptr)) {
      ADD_FAILURE() << "cannot make " << root_ << ": " << GetLastError();
    }
  }
  ~WinTempTree() { RemoveAll(Long("")); }
  WinTempTree(const WinTempTree&) = delete;
  WinTempTree& operator=(const WinTempTree&) = delete;

  // The tree's drive path, "c:\users\...\tidwen-test-...".
  const std::string& Root() const { return root_; }
  // The drive path of relative ("" for the tree itself).
  std::string Path(std::string_view relative) const {
    return relative.empty() ? root_ : root_ + "\\" + std::string(relative);
  }
  // The long form "\\?\..." of relative.
  std::wstring Long(std::string_view relative) const { return L"\\\\?\\" + Wide(Path(relative)); }

  void Dir(std::string_view relative) const {
    ASSERT_TRUE(CreateDirectoryW(Long(relative).c_str(), nullptr))
        << "mkdir " << relative << ": " << GetLastError();
  }
  // Makes or overwrites a file with these bytes.
  void File(std::string_view relative, std::string_view content = "x") const {
    WriteLong(Long(relative), content);
  }
  static void WriteLong(const std::wstring& path, std::string_view content) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "create: " << GetLastError();
    DWORD written = 0;
    const BOOL ok =
        content.empty() ||
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
    ASSERT_TRUE(ok);
  }
  bool Exists(std::string_view relative) const {
    return GetFileAttributesW(Long(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  DWORD Attributes(std::string_view relative) const {
    return GetFileAttributesW(Long(relative).c_str());
  }
  // Sets the attributes and says whether the file system kept them.
  bool SetAttributes(std::string_view relative, DWORD attributes) const {
    if (!SetFileAttributesW(Long(relative).c_str(), attributes)) return false;
    return (Attributes(relative) & attributes) == attributes;
  }

 private:
  std::string root_;
};

// The names FindFirstFileW gives for dir, in its order, "." and ".." left
// out, with their attributes.
struct RawEntry {
  std::string name;
  DWORD attributes;
};
inline std::vector<RawEntry> RawListing(const std::wstring& longDir) {
  std::vector<RawEntry> entries;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((longDir + L"\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") entries.push_back({Narrow(name), found.dwFileAttributes});
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return entries;
}

// The Unix path Wine keeps the file at drivePath under, or an empty string
// when not running under Wine.
inline std::string UnixPathOf(const std::string& drivePath) {
  using Convert = char*(CDECL*)(const wchar_t*);
  const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return "";
  char* unix = convert(Wide(drivePath).c_str());
  if (!unix) return "";
  std::string out(unix);
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

// Runs a Unix program with these arguments from the Linux side, as anyone
// with a shell on a Wine machine can, and waits until done() holds: Wine
// starts the program but gives no handle to wait on. Empty, or the reason
// it failed.
template <class Done>
std::string RunUnix(const wchar_t* program, const std::vector<std::string>& arguments, Done done) {
  std::wstring command = L"x";
  for (const std::string& argument : arguments) command += L" \"" + Wide(argument) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return "cannot start a Unix program: error " + std::to_string(GetLastError());
  }
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  for (int tries = 0; tries < 500; ++tries) {
    if (done()) return "";
    Sleep(20);
  }
  return "the Unix program did not finish within 10 s";
}

inline bool ExistsAt(const std::string& drivePath) {
  return GetFileAttributesW((L"\\\\?\\" + Wide(drivePath)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether its directory lists this very name: Wine finds a name that
// differs only in case when the name itself is not there.
inline bool ListedAt(const std::string& drivePath) {
  const std::size_t cut = drivePath.rfind('\\');
  if (cut == std::string::npos || cut + 1 == drivePath.size()) return ExistsAt(drivePath);
  const std::string name = drivePath.substr(cut + 1);
  for (const RawEntry& e : RawListing(L"\\\\?\\" + Wide(drivePath.substr(0, cut)))) {
    if (e.name == name) return true;
  }
  return false;
}

// Unix symbolic links made from the Linux side inside Wine's drives, each to
// an existing file or directory, and removed again (before their targets)
// when this goes.
class UnixLinks {
 public:
  UnixLinks() = default;
  UnixLinks(const UnixLinks&) = delete;
  UnixLinks& operator=(const UnixLinks&) = delete;
  ~UnixLinks() {
    if (made_.empty()) return;
    std::vector<std::string> arguments{"-f"};
    arguments.insert(arguments.end(), unixLinks_.begin(), unixLinks_.end());
    // A link is seen as long as its target is there.
    RunUnix(L"Z:\\bin\\rm", arguments, [&] {
      for (const std::string& link : made_) {
        if (ListedAt(link)) return false;
      }
      return true;
    });
  }

  // A link at linkPath (a drive path) to targetPath; empty, or the reason
  // none could be made.
  std::string Make(const std::string& linkPath, const std::string& targetPath) {
    // The link's own name, as given: Wine would find a name beside it that
    // differs only in case.
    const std::size_t cut = linkPath.rfind('\\');
    const std::string dir = UnixPathOf(linkPath.substr(0, cut));
    return MakeAt(dir.empty() ? "" : dir + "/" + linkPath.substr(cut + 1), targetPath, linkPath);
  }
  // The same with the link's Unix path, seen at drive path seenAt once made
  // (a link in Wine's dosdevices folder makes a drive letter).
  std::string MakeAt(const std::string& unixLink, const std::string& targetPath,
                     const std::string& seenAt) {
    const std::string target = UnixPathOf(targetPath);
    if (unixLink.empty() || target.empty())
      return "not running under Wine, which alone has Unix links";
    made_.push_back(seenAt);
    unixLinks_.push_back(unixLink);
    return RunUnix(L"Z:\\bin\\ln", {"-s", target, unixLink}, [&] { return ListedAt(seenAt); });
  }

 private:
  std::vector<std::string> made_;
  std::vector<std::string> unixLinks_;
};

// A drive letter standing for a folder while this lives: a subst drive
// (DefineDosDeviceW) where the system makes one, else, under Wine (which
// answers success but makes nothing), a link in the prefix's dosdevices
// folder, which is how Wine makes its drives.
class DriveFor {
 public:
  // letter: lower case, one no other test uses; folder: a drive path.
  DriveFor(char letter, const std::string& folder) : root_{letter, ':', '\\'} {
    const std::wstring device{static_cast<wchar_t>(letter - 'a' + 'A'), L':'};
    if (DefineDosDeviceW(0, device.c_str(), Wide(folder).c_str())) {
      if (ExistsAt(root_)) {
        defined_ = device;
        return;
      }
      DefineDosDeviceW(DDD_REMOVE_DEFINITION, device.c_str(), nullptr);
    }
    std::string dosdevices = UnixPathOf("c:\\");
    while (!dosdevices.empty() && dosdevices.back() == '/') dosdevices.pop_back();
    if (dosdevices.empty()) {
      why_ = "no subst drive can be made, and not under Wine";
      return;
    }
    dosdevices.erase(dosdevices.rfind('/') + 1);
    why_ = links_.MakeAt(dosdevices + root_.substr(0, 2), folder, root_);
  }
  ~DriveFor() {
    if (!defined_.empty()) DefineDosDeviceW(DDD_REMOVE_DEFINITION, defined_.c_str(), nullptr);
  }
  DriveFor(const DriveFor&) = delete;
  DriveFor& operator=(const DriveFor&) = delete;

  // "p:\", once made.
  const std::string& Root() const { return root_; }
  // Empty once made, else why not.
  const std::string& Why() const { return why_; }

 private:
  std::string root_;
  std::wstring defined_;
  UnixLinks links_;
  std::string why_;
};

// A link of some kind to a directory of the tree, or an empty string with
// the reason none could be made. Where the system makes none (Wine 8
// answers success but makes nothing), a Unix link made into unix stands in.
inline std::string MakeDirectoryLink(const WinTempTree& tree, const char* name, const char* target,
                                     UnixLinks* unix = nullptr) {
  const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;  // ..._ALLOW_UNPRIVILEGED_CREATE
  const BOOL made = CreateSymbolicLinkW(tree.Long(name).c_str(), tree.Long(target).c_str(), flags);
  const DWORD error = GetLastError();
  if (!made || tree.Attributes(name) == INVALID_FILE_ATTRIBUTES) {
    const std::string why =
        unix ? unix->Make(tree.Path(name), tree.Path(target)) : "no Unix link asked";
    if (!why.empty()) {
      return "CreateSymbolicLinkW made nothing (" + std::to_string(made) + ", error " +
             std::to_string(error) + "), nor a Unix link: " + why;
    }
  }
  const DWORD attributes = tree.Attributes(name);
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return "the link made is not shown as a reparse point";
  }
  return "";
}

// The bytes of the file at longPath; an empty string when it cannot be read.
inline std::string ContentOf(const std::wstring& longPath) {
  HANDLE h = CreateFileW(longPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  char buffer[256];
  DWORD got = 0;
  std::string out;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(h);
  return out;
}

}  // namespace tidwen::test

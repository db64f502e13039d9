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
  SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL |
                                           (attributes & FILE_ATTRIBUTE_DIRECTORY));
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
    if (!base.empty()) base[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(base[0])));
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
    const BOOL ok = content.empty() || WriteFile(h, content.data(), static_cast<DWORD>(content.size()),
                                                 &written, nullptr);
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

// A link of some kind to a directory of the tree, or an empty string with
// the reason none could be made.
inline std::string MakeDirectoryLink(const WinTempTree& tree, const char* name, const char* target) {
  const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;  // ..._ALLOW_UNPRIVILEGED_CREATE
  if (!CreateSymbolicLinkW(tree.Long(name).c_str(), tree.Long(target).c_str(), flags)) {
    return "CreateSymbolicLinkW failed with " + std::to_string(GetLastError());
  }
  const DWORD attributes = tree.Attributes(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Wine 8 answers success but makes nothing.
    return "CreateSymbolicLinkW reported success, yet nothing is there (error " +
           std::to_string(GetLastError()) + ")";
  }
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return "the link made is not shown as a reparse point";
  }
  return "";
}

}  // namespace tidwen::test

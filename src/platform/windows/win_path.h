// Drive paths of the core ("c:\dir\x.tmp", names in WTF-8) and the paths the
// Win32 calls take: the long form "\\?\c:\dir\x.tmp" in UTF-16, which lifts
// the MAX_PATH limit and passes every name to the file system as it is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tidwen {

struct WinDrivePath {
  // The drive path with its letter in lower case: "c:\" for a root, "c:\a\b"
  // below it, never with a trailing "\".
  std::string path;
  // The same as "\\?\c:\" or "\\?\c:\a\b".
  std::wstring longPath;

  bool IsRoot() const { return path.size() == 3; }
};

// The drive path of drivePath, or nullopt when it is none: a letter, a colon
// and "\", then names separated by single "\" (one trailing "\" is allowed),
// each of them WTF-8 and neither "." nor "..", without "/" or NUL.
std::optional<WinDrivePath> ParseWinDrivePath(std::string_view drivePath);

// A drive path split at its last "\": the directory ("c:\" for a file at a
// root) and the name. The name is empty for a root or a path ending in "\".
struct WinParentAndName {
  std::string_view parent;
  std::string_view name;
};
WinParentAndName SplitWinPath(std::string_view path);

// Whether two drive paths name the same directory as listed: the letters
// compared in either case, the rest byte for byte.
bool SameWinPath(std::string_view a, std::string_view b);

// The long form appended with "\*", to list the directory.
std::wstring SearchPattern(const WinDrivePath& dir);

// The path the system reaches the file or directory open at handle by,
// every link resolved, without the "\\?\" in front: "C:\a\x.tmp", or
// "\\server\share\x" for a network share. Nothing when the system cannot
// say (Wine cannot for a path beyond MAX_PATH).
std::optional<std::wstring> FinalPathOf(void* handle);

}  // namespace tidwen

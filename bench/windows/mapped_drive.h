// A directory shown as drive c: over the Windows platform, so that the scan
// of a tree gives the same paths as the Linux build gives when it maps the
// same tree as c:. The listers and the file length translate paths on the
// way in and out; everything else is the platform's own.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"
#include "platform/services.h"
#include "platform/windows/windows_platform.h"

namespace tidwen::bench {

// Maps "c:\" and the paths below it onto a directory's drive path.
class DriveMapping {
 public:
  // dir: a drive path of a directory, "d:\trees\x" (a root is allowed).
  explicit DriveMapping(std::string_view dir);
  // "c:\a\b" -> "<dir>\a\b"; "c:\" -> "<dir>". Any other path is passed on
  // unchanged, so that the platform raises its own error for it.
  std::string ToReal(std::string_view shown) const;
  // The reverse; a path outside dir is passed on unchanged.
  std::string ToShown(std::string_view real) const;

 private:
  std::string dir_;  // without a trailing "\" unless a root
};

// The platform's listers and file length behind the mapping.
class MappedPlatform {
 public:
  MappedPlatform(WindowsPlatform& platform, std::string_view dir);
  ~MappedPlatform();
  MappedPlatform(const MappedPlatform&) = delete;
  MappedPlatform& operator=(const MappedPlatform&) = delete;

  DirListControl& Dir1();
  FileListControl& File1();
  FileLengthService& FileLength();
  FileSystemService& FileSystem();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The scan of dir shown as c: with every junk type selected: each ResultList
// entry in the order found. Throws RuntimeError when dir cannot be resolved.
std::vector<std::string> ListHits(std::string_view dir);

}  // namespace tidwen::bench

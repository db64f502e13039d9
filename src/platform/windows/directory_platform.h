// A directory shown as drive c: over the Windows platform, so that tests and
// benchmarks can scan and clean a tree of their own as a drive, and the scan
// of a tree gives the same paths as the Linux build gives when it maps the
// same tree as c:. The listers, the file length and the file system
// translate paths on the way in and out; everything else is the platform's
// own.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/tunable_platform.h"
#include "platform/windows/windows_platform.h"

namespace tidwen {

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
  // Whether a path lies in the directory or is shown on c:.
  bool Inside(std::string_view real) const;
  static bool Shown(std::string_view path);

  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;  // without a trailing "\" unless a root
};

// The platform whose only drive, c:, is one directory.
class DirectoryPlatform final : public TunablePlatform {
 public:
  // dir: a drive path of a directory, "d:\trees\x".
  explicit DirectoryPlatform(std::string_view dir);
  ~DirectoryPlatform() override;

  std::vector<DriveInfo> Drives() const override;
  bool RefreshDrives() override { return false; }
  DirListControl& Dir1() override;
  FileListControl& File1() override;
  FileLengthService& FileLength() override;
  FileSystemService& FileSystem() override;
  void ReleaseHandles() noexcept override;
  void SetReadAhead(int workers) override;
  // The same, with the age a directory's last change must have for its
  // listing to be read ahead; tests on trees just made take less.
  void SetReadAhead(int workers, std::int64_t settledNs);
  void SetVolumeIndex(bool use) override;
  std::int64_t IndexedListings() const override;
  std::optional<std::string> DrivePathOf(std::string_view systemPath) const override;
  std::optional<std::string> SystemPathOf(std::string_view drivePath) const override;
  std::optional<FileFacts> DescribeFile(std::string_view drivePath) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The full drive path of a directory given as the system takes paths
// (relative or absolute, either separator), drive letter in lower case;
// empty when it names no directory on a drive.
std::string FullDirectoryPath(std::string_view path);

}  // namespace tidwen

// The seam between the logic and the operating system: the drives, the
// directory and file listers, file lengths and deletion of one system. One
// backend is compiled for each target (src/platform/linux,
// src/platform/windows); everything above this header sees only the seam.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/controls.h"
#include "model/services.h"
#include "platform/platform_services.h"

namespace tidwen {

// One drive, for the drive list; the front ends word it from the letter
// and the label.
struct DriveInfo {
  char letter = 'c';  // lower case
  // Where the drive's files are, as the system writes it ("/media/u/usb",
  // "D:\"), and what names the drive: its mount point or volume label, or
  // the network path of a network drive; may be empty.
  std::string root;
  std::string label;
  // Which mount or volume the drive is. Two reads of the drive list give a
  // drive that is still there the same letter and identity; a drive that
  // went and came back, or another in its place, differs.
  std::uint64_t identity = 0;

  friend bool operator==(const DriveInfo&, const DriveInfo&) = default;
};

// What the system says of one file.
struct FileFacts {
  std::string systemPath;     // where it really is, as the system writes it
  std::int64_t size = 0;      // bytes
  std::int64_t modified = 0;  // last written, seconds since 1970 (UTC)
  friend bool operator==(const FileFacts&, const FileFacts&) = default;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The drives, in letter order.
  virtual std::vector<DriveInfo> Drives() const = 0;
  // Reads the drives afresh, so that drives that came since show and drives
  // gone leave. Returns whether anything changed.
  virtual bool RefreshDrives() = 0;

  virtual DirListControl& Dir1() = 0;
  virtual FileListControl& File1() = 0;
  virtual FileLengthService& FileLength() = 0;
  virtual FileSystemService& FileSystem() = 0;

  // A walk will start at drivePath, a folder rather than a drive's root:
  // the backend reads ahead of it from there, as it does of a walk from a
  // root. Empty for none.
  virtual void SetWalkStart(std::string drivePath) { drivePath.clear(); }

  // Closes everything the listers and services keep open. Each handler ends
  // with it, so that no drive stays busy between commands; what the listers
  // show stays.
  virtual void ReleaseHandles() noexcept = 0;

  // The drive path of a path of the system ("/home/u" -> "c:\home\u");
  // nullopt when no drive holds it.
  virtual std::optional<std::string> DrivePathOf(std::string_view systemPath) const = 0;
  // The system's own path of a drive path, to show where a file really is;
  // nullopt for a path of no drive.
  virtual std::optional<std::string> SystemPathOf(std::string_view drivePath) const = 0;
  // What the system says of the file at a drive path, read without
  // following a link at its end; nullopt when there is no such file.
  virtual std::optional<FileFacts> DescribeFile(std::string_view drivePath) const = 0;
};

// The platform of the system the program runs on, from the compiled backend.
std::unique_ptr<Platform> MakeSystemPlatform();
// A platform whose only drive, c:, is a directory of the system: for tests
// and benchmarks on trees of their own.
std::unique_ptr<Platform> MakeDirectoryPlatform(const std::string& systemDirectory);

}  // namespace tidwen

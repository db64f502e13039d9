// The real Linux platform: directory and file listers over one shared
// directory read, file length, and safe deletion, all on the drives of a
// DriveTable.
#pragma once

#include <functional>
#include <memory>

#include "platform/controls.h"
#include "platform/linux/drive_table.h"
#include "platform/services.h"

namespace tidwen {

class SysCalls;

class LinuxPlatform {
 public:
  // Reads the drive table again, given the one in use; see RefreshDrives.
  using DriveSource = std::function<DriveTable(const DriveTable& previous)>;

  // Uses the real system calls.
  explicit LinuxPlatform(DriveTable drives);
  // Routes every system call through sys, which must outlive the platform;
  // tests use this to inject faults.
  LinuxPlatform(DriveTable drives, SysCalls& sys);
  ~LinuxPlatform();
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  const DriveTable& Drives() const;
  // Where RefreshDrives reads the table from; without a source the table
  // stays as it was given.
  void SetDriveSource(DriveSource source);
  // Reads the drive table afresh, so that drives mounted since show and
  // drives gone leave. Returns whether the table changed.
  bool RefreshDrives();
  // Closes every descriptor the listers and the file-system service keep:
  // a handler calls it when it returns, so that nothing keeps a drive busy
  // between commands. What the listers show stays.
  void ReleaseHandles() noexcept;
  DirListControl& Dir1();
  FileListControl& File1();
  FileLengthService& FileLength();
  FileSystemService& FileSystem();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tidwen

// The real Linux platform: directory and file listers over one shared
// directory read, file length, and safe deletion, all on the drives of a
// DriveTable.
#pragma once

#include <memory>

#include "platform/controls.h"
#include "platform/linux/drive_table.h"
#include "platform/services.h"

namespace tidwen {

class SysCalls;

class LinuxPlatform {
 public:
  // Uses the real system calls.
  explicit LinuxPlatform(DriveTable drives);
  // Routes every system call through sys, which must outlive the platform;
  // tests use this to inject faults.
  LinuxPlatform(DriveTable drives, SysCalls& sys);
  ~LinuxPlatform();
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  const DriveTable& Drives() const;
  DirListControl& Dir1();
  FileListControl& File1();
  FileLengthService& FileLength();
  FileSystemService& FileSystem();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tidwen

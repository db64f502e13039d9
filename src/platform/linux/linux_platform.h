// The real Linux platform: directory and file listers over one shared
// directory read, file length, and safe deletion, all on the drives of a
// DriveTable.
#pragma once

#include <functional>
#include <memory>

#include "model/controls.h"
#include "model/services.h"
#include "platform/linux/drive_table.h"
#include "platform/linux/system_trees.h"
#include "platform/platform.h"
#include "platform/tunable_platform.h"

namespace tidwen {

class SysCalls;

class LinuxPlatform final : public TunablePlatform {
 public:
  // Reads the drive table again, given the one in use; see RefreshDrives.
  using DriveSource = std::function<DriveTable(const DriveTable& previous)>;

  // Uses the real system calls. trees are the system trees, never listed on
  // any drive; by default those of this system as they are now.
  explicit LinuxPlatform(DriveTable drives, SystemTrees trees = SystemTrees::Record());
  // Routes every system call through sys, which must outlive the platform;
  // tests use this to inject faults.
  LinuxPlatform(DriveTable drives, SysCalls& sys, SystemTrees trees = SystemTrees::Record());
  ~LinuxPlatform() override;
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  // The drive table in use.
  const DriveTable& Table() const;
  // Where RefreshDrives reads the table from; without a source the table
  // stays as it was given.
  void SetDriveSource(DriveSource source);

  // Each drive's identity is its mount: the mount ID and the root's device.
  std::vector<DriveInfo> Drives() const override;
  bool RefreshDrives() override;
  // With the real system calls, a scan reads ahead with one thread per core
  // on a machine of several cores; with others, only when asked to, and
  // they must then take calls from several threads. A directory's listing is
  // read ahead only once its last change lies kSettledNanoseconds back.
  void SetReadAhead(int workers) override;
  // The same, with the age a change must have; tests on trees just made
  // take less.
  void SetReadAhead(int workers, std::int64_t settledNs);
  void SetVolumeIndex(bool use) override;
  std::int64_t IndexedListings() const override;
  void SetWalkStart(std::string drivePath) override;
  // Closes every descriptor the listers and the file-system service keep,
  // and stops the read-ahead.
  void ReleaseHandles() noexcept override;
  DirListControl& Dir1() override;
  FileListControl& File1() override;
  FileLengthService& FileLength() override;
  FileSystemService& FileSystem() override;
  // nullopt too for a path in a system tree, by path or by identity.
  std::optional<std::string> DrivePathOf(std::string_view systemPath) const override;
  std::optional<std::string> SystemPathOf(std::string_view drivePath) const override;
  std::optional<FileFacts> DescribeFile(std::string_view drivePath) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tidwen

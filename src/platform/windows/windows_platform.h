// The real Windows platform: directory and file listers over one shared
// directory read, file length, and safe deletion, on the machine's drives.
#pragma once

#include <memory>

#include "model/controls.h"
#include "model/services.h"
#include "platform/platform.h"
#include "platform/tunable_platform.h"
#include "platform/windows/drive_list.h"

namespace tidwen {

class WindowsPlatform final : public TunablePlatform {
 public:
  // The machine's drives as they are now.
  WindowsPlatform();
  // Shows these drives in the chooser; the services reach any drive path.
  explicit WindowsPlatform(WinDriveList drives);
  ~WindowsPlatform() override;
  WindowsPlatform(const WindowsPlatform&) = delete;
  WindowsPlatform& operator=(const WindowsPlatform&) = delete;

  // The drive list in use.
  const WinDriveList& Table() const;
  // A drive's identity is its text: the same letter showing another volume
  // label or network path is another drive.
  std::vector<DriveInfo> Drives() const override;
  // Reads the machine's drives again, when this platform was made from them.
  bool RefreshDrives() override;
  DirListControl& Dir1() override;
  FileListControl& File1() override;
  FileLengthService& FileLength() override;
  FileSystemService& FileSystem() override;
  // Closes what the file-system service keeps, and stops the read-ahead.
  void ReleaseHandles() noexcept override;
  // A scan reads ahead with this many threads; by default with none. Where
  // it was measured, under Wine, every open and look at a directory is a
  // trip to one server process, and the second open and look that reading
  // ahead takes per directory cost more than it saved. A directory's
  // listing is read ahead only once its last change lies
  // kSettledNanoseconds back.
  void SetReadAhead(int workers) override;
  // The same, with the age a change must have; tests on trees just made
  // take less.
  void SetReadAhead(int workers, std::int64_t settledNs);
  // A scan of an NTFS drive's root reads the volume's Master File Table
  // when the process may open the volume (an administrator may).
  void SetVolumeIndex(bool use) override;
  std::int64_t IndexedListings() const override;
  // A directory where a walk starts, besides a drive's root.
  void SetWalkStart(std::string drivePath) override;
  // Paths of the system are drive paths already, with the letter in either
  // case; they need only be on a drive of the list.
  std::optional<std::string> DrivePathOf(std::string_view systemPath) const override;
  std::optional<std::string> SystemPathOf(std::string_view drivePath) const override;
  std::optional<FileFacts> DescribeFile(std::string_view drivePath) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tidwen

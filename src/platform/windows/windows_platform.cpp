#include "platform/windows/windows_platform.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "platform/windows/directory_reader.h"
#include "platform/windows/file_facts.h"
#include "platform/windows/file_system.h"
#include "platform/windows/kept_out.h"
#include "platform/windows/listers.h"

namespace tidwen {

struct WindowsPlatform::Impl {
  Impl(WinDriveList list, bool fromSystem)
      : drives(std::move(list)),
        fromSystem(fromSystem),
        kept(WinKeptOut::SystemFolders()),
        reader(kept),
        dir1(reader),
        file1(reader),
        fileLength(reader) {}

  // Members are destroyed in reverse: the listers go before their reader.
  WinDriveList drives;
  bool fromSystem;
  // Built once: the system's folders do not move while the program runs.
  WinKeptOut kept;
  WinDirectoryReader reader;
  WinDirList dir1;
  WinFileList file1;
  WinFileLength fileLength;
  WinFileSystem fileSystem;
};

WindowsPlatform::WindowsPlatform()
    : impl_(std::make_unique<Impl>(WinDriveList::FromSystem(), true)) {}

WindowsPlatform::WindowsPlatform(WinDriveList drives)
    : impl_(std::make_unique<Impl>(std::move(drives), false)) {}

WindowsPlatform::~WindowsPlatform() = default;

const WinDriveList& WindowsPlatform::Table() const { return impl_->drives; }

std::vector<DriveInfo> WindowsPlatform::Drives() const {
  std::vector<DriveInfo> drives;
  for (const WinDrive& d : impl_->drives.Drives()) {
    // The same letter with another name is another volume.
    drives.push_back(DriveInfo{d.letter, d.root, d.label,
                               std::hash<std::string>{}(std::string{d.letter, ':'} + d.label)});
  }
  return drives;
}

bool WindowsPlatform::RefreshDrives() {
  if (!impl_->fromSystem) return false;
  WinDriveList fresh = WinDriveList::FromSystem();
  const auto same = [](const WinDrive& a, const WinDrive& b) {
    return a.letter == b.letter && a.label == b.label;
  };
  const std::vector<WinDrive>& now = impl_->drives.Drives();
  if (std::equal(now.begin(), now.end(), fresh.Drives().begin(), fresh.Drives().end(), same)) {
    return false;
  }
  impl_->drives = std::move(fresh);
  return true;
}

void WindowsPlatform::ReleaseHandles() noexcept {
  impl_->reader.ReleaseHandles();
  impl_->fileSystem.ReleaseKept();
}

void WindowsPlatform::SetReadAhead(int workers) { SetReadAhead(workers, kSettledNanoseconds); }

void WindowsPlatform::SetReadAhead(int workers, std::int64_t settledNs) {
  impl_->reader.SetReadAhead(workers, settledNs);
}

void WindowsPlatform::SetVolumeIndex(bool use) { impl_->reader.SetVolumeIndex(use); }

std::int64_t WindowsPlatform::IndexedListings() const { return impl_->reader.IndexedListings(); }

void WindowsPlatform::SetWalkStart(std::string drivePath) {
  impl_->reader.SetWalkStart(std::move(drivePath));
}

std::optional<std::string> WindowsPlatform::DrivePathOf(std::string_view systemPath) const {
  if (systemPath.size() < 3 || systemPath[1] != ':' || systemPath[2] != '\\' ||
      impl_->drives.Find(systemPath[0]) == nullptr) {
    return std::nullopt;
  }
  std::string drivePath(systemPath);
  drivePath[0] = static_cast<char>(drivePath[0] | 0x20);
  return drivePath;
}

std::optional<std::string> WindowsPlatform::SystemPathOf(std::string_view drivePath) const {
  return DrivePathOf(drivePath);
}

std::optional<FileFacts> WindowsPlatform::DescribeFile(std::string_view drivePath) const {
  return DescribeWinFile(SystemPathOf(drivePath));
}

std::unique_ptr<Platform> MakeSystemPlatform() { return std::make_unique<WindowsPlatform>(); }
DirListControl& WindowsPlatform::Dir1() { return impl_->dir1; }
FileListControl& WindowsPlatform::File1() { return impl_->file1; }
FileLengthService& WindowsPlatform::FileLength() { return impl_->fileLength; }
FileSystemService& WindowsPlatform::FileSystem() { return impl_->fileSystem; }

}  // namespace tidwen

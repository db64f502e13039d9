#include "platform/linux/linux_platform.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "platform/linux/beneath_opener.h"
#include "platform/linux/directory_reader.h"
#include "platform/linux/file_system.h"
#include "platform/linux/listers.h"
#include "platform/linux/read_ahead.h"
#include "platform/linux/sys_calls.h"

namespace tidwen {

struct LinuxPlatform::Impl {
  Impl(DriveTable table, std::unique_ptr<SysCalls> owned, SysCalls& used)
      : drives(std::move(table)),
        ownedSys(std::move(owned)),
        sys(used),
        opener(sys),
        reader(drives, sys, opener),
        dir1(reader),
        file1(reader),
        fileLength(drives, sys, opener, reader),
        fileSystem(drives, sys, opener) {}

  // Members are destroyed in reverse: the users of sys go before it.
  DriveTable drives;
  std::unique_ptr<SysCalls> ownedSys;
  SysCalls& sys;
  BeneathOpener opener;
  DirectoryReader reader;
  LinuxDirList dir1;
  LinuxFileList file1;
  LinuxFileLength fileLength;
  LinuxFileSystem fileSystem;
  DriveSource source;
};

namespace {

std::unique_ptr<SysCalls> MakeRealSysCalls() { return std::make_unique<RealSysCalls>(); }

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() {
  auto platform = std::make_unique<LinuxPlatform>(DriveTable::FromSystem());
  // Drives mounted or unmounted while the program runs come and go.
  platform->SetDriveSource(
      [](const DriveTable& previous) { return DriveTable::FromSystem(&previous); });
  return platform;
}

std::unique_ptr<TunablePlatform> MakeTunablePlatform(const std::string& systemDirectory) {
  return std::make_unique<LinuxPlatform>(DriveTable({Drive{'c', systemDirectory, ""}}));
}

std::unique_ptr<Platform> MakeDirectoryPlatform(const std::string& systemDirectory) {
  return MakeTunablePlatform(systemDirectory);
}

LinuxPlatform::LinuxPlatform(DriveTable drives) {
  std::unique_ptr<SysCalls> real = MakeRealSysCalls();
  SysCalls& used = *real;
  impl_ = std::make_unique<Impl>(std::move(drives), std::move(real), used);
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores > 1) SetReadAhead(static_cast<int>(cores));
}

LinuxPlatform::LinuxPlatform(DriveTable drives, SysCalls& sys)
    : impl_(std::make_unique<Impl>(std::move(drives), nullptr, sys)) {}

LinuxPlatform::~LinuxPlatform() = default;

const DriveTable& LinuxPlatform::Table() const { return impl_->drives; }

std::vector<DriveInfo> LinuxPlatform::Drives() const {
  std::vector<DriveInfo> drives;
  for (const Drive& d : impl_->drives.Drives()) {
    drives.push_back(
        DriveInfo{d.letter, d.Text(), d.mountPoint, d.mountPoint, (d.mountId << 32) ^ d.device});
  }
  return drives;
}

std::optional<std::string> LinuxPlatform::DrivePathOf(std::string_view systemPath) const {
  return impl_->drives.ToDrivePath(systemPath);
}

std::optional<std::string> LinuxPlatform::SystemPathOf(std::string_view drivePath) const {
  return impl_->drives.ToPosixPath(drivePath);
}

void LinuxPlatform::SetDriveSource(DriveSource source) { impl_->source = std::move(source); }

bool LinuxPlatform::RefreshDrives() {
  if (!impl_->source) return false;
  DriveTable fresh = impl_->source(impl_->drives);
  const auto same = [](const Drive& a, const Drive& b) {
    return a.letter == b.letter && a.mountPoint == b.mountPoint && a.mountId == b.mountId &&
           a.device == b.device;
  };
  const std::vector<Drive>& now = impl_->drives.Drives();
  if (std::equal(now.begin(), now.end(), fresh.Drives().begin(), fresh.Drives().end(), same)) {
    return false;
  }
  // Nothing opened on the old table may outlive it.
  ReleaseHandles();
  impl_->drives = std::move(fresh);
  return true;
}

void LinuxPlatform::SetReadAhead(int workers) { SetReadAhead(workers, kSettledNanoseconds); }

void LinuxPlatform::SetReadAhead(int workers, std::int64_t settledNs) {
  impl_->reader.SetReadAhead(workers, settledNs);
}

void LinuxPlatform::ReleaseHandles() noexcept {
  impl_->reader.ReleaseHandles();
  impl_->fileSystem.ReleaseKept();
}
DirListControl& LinuxPlatform::Dir1() { return impl_->dir1; }
FileListControl& LinuxPlatform::File1() { return impl_->file1; }
FileLengthService& LinuxPlatform::FileLength() { return impl_->fileLength; }
FileSystemService& LinuxPlatform::FileSystem() { return impl_->fileSystem; }

}  // namespace tidwen

#include "platform/linux/linux_platform.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <thread>
#include <utility>

#include "model/runtime_error.h"
#include "platform/linux/beneath_opener.h"
#include "platform/linux/directory_reader.h"
#include "platform/linux/file_system.h"
#include "platform/linux/listers.h"
#include "platform/linux/read_ahead.h"
#include "platform/linux/sys_calls.h"

namespace tidwen {

struct LinuxPlatform::Impl {
  Impl(DriveTable table, std::unique_ptr<SysCalls> owned, SysCalls& used, SystemTrees systemTrees)
      : drives(std::move(table)),
        ownedSys(std::move(owned)),
        sys(used),
        trees(std::move(systemTrees)),
        opener(sys),
        reader(drives, sys, opener, trees),
        dir1(reader),
        file1(reader),
        fileLength(drives, sys, opener, reader),
        fileSystem(drives, sys, opener) {}

  // Members are destroyed in reverse: the users of sys go before it.
  DriveTable drives;
  std::unique_ptr<SysCalls> ownedSys;
  SysCalls& sys;
  SystemTrees trees;
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
  // The system trees as they are at start: what is mounted later cannot
  // change which directories are the system's.
  SystemTrees trees = SystemTrees::Record();
  DriveTable drives;
  try {
    drives = DriveTable::FromSystem(trees);
  } catch (const RuntimeError&) {
    // "/" is there in any case; the others come with the next read.
    drives = DriveTable({Drive{'c', "/", ""}});
  }
  auto platform = std::make_unique<LinuxPlatform>(std::move(drives), trees);
  // Drives mounted or unmounted while the program runs come and go.
  platform->SetDriveSource([trees = std::move(trees)](const DriveTable& previous) {
    return DriveTable::FromSystem(trees, &previous);
  });
  return platform;
}

std::unique_ptr<TunablePlatform> MakeTunablePlatform(const std::string& systemDirectory) {
  return std::make_unique<LinuxPlatform>(DriveTable({Drive{'c', systemDirectory, ""}}));
}

std::unique_ptr<Platform> MakeDirectoryPlatform(const std::string& systemDirectory) {
  return MakeTunablePlatform(systemDirectory);
}

LinuxPlatform::LinuxPlatform(DriveTable drives, SystemTrees trees) {
  std::unique_ptr<SysCalls> real = MakeRealSysCalls();
  SysCalls& used = *real;
  impl_ = std::make_unique<Impl>(std::move(drives), std::move(real), used, std::move(trees));
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores > 1) SetReadAhead(static_cast<int>(cores));
}

LinuxPlatform::LinuxPlatform(DriveTable drives, SysCalls& sys, SystemTrees trees)
    : impl_(std::make_unique<Impl>(std::move(drives), nullptr, sys, std::move(trees))) {}

LinuxPlatform::~LinuxPlatform() = default;

const DriveTable& LinuxPlatform::Table() const { return impl_->drives; }

std::vector<DriveInfo> LinuxPlatform::Drives() const {
  std::vector<DriveInfo> drives;
  for (const Drive& d : impl_->drives.Drives()) {
    // Another mount, or another filesystem mounted in the same place, is
    // another identity.
    std::uint64_t identity = (d.mountId << 32) ^ d.device;
    for (const std::uint64_t part : {d.uniqueMountId, d.filesystem}) {
      identity = (identity ^ part) * 0x100000001b3ULL;
    }
    drives.push_back(DriveInfo{d.letter, d.mountPoint, d.mountPoint, identity});
  }
  return drives;
}

std::optional<std::string> LinuxPlatform::DrivePathOf(std::string_view systemPath) const {
  // A path from outside (the directory the program starts in) may reach a
  // system tree through a bind mount: the walk's listings would never lead
  // there, so neither does this.
  if (InSystemTree(systemPath) || impl_->trees.Holds(systemPath)) return std::nullopt;
  return impl_->drives.ToDrivePath(systemPath);
}

std::optional<std::string> LinuxPlatform::SystemPathOf(std::string_view drivePath) const {
  return impl_->drives.ToPosixPath(drivePath);
}

std::optional<FileFacts> LinuxPlatform::DescribeFile(std::string_view drivePath) const {
  std::optional<std::string> path = SystemPathOf(drivePath);
  struct stat info {};
  // lstat: a link at the end is described itself, not what it points to.
  if (!path || ::lstat(path->c_str(), &info) != 0) return std::nullopt;
  return FileFacts{std::move(*path), static_cast<std::int64_t>(info.st_size),
                   static_cast<std::int64_t>(info.st_mtime)};
}

void LinuxPlatform::SetDriveSource(DriveSource source) { impl_->source = std::move(source); }

bool LinuxPlatform::RefreshDrives() {
  if (!impl_->source) return false;
  std::optional<DriveTable> read;
  try {
    read = impl_->source(impl_->drives);
  } catch (const RuntimeError&) {
    // The mounts cannot be read now (the system is out of descriptors):
    // the drives stay as they were, and whatever opens them says why.
    return false;
  }
  DriveTable fresh = std::move(*read);
  const auto same = [](const Drive& a, const Drive& b) {
    return a.letter == b.letter && a.SameMount(b);
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

void LinuxPlatform::SetVolumeIndex(bool use) { impl_->reader.SetVolumeIndex(use); }

std::int64_t LinuxPlatform::IndexedListings() const { return impl_->reader.IndexedListings(); }

void LinuxPlatform::SetWalkStart(std::string drivePath) {
  impl_->reader.SetWalkStart(std::move(drivePath));
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

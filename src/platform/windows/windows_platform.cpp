#include "platform/windows/windows_platform.h"

#include <utility>

#include "platform/windows/directory_reader.h"
#include "platform/windows/file_system.h"
#include "platform/windows/listers.h"

namespace tidwen {

struct WindowsPlatform::Impl {
  explicit Impl(WinDriveList list) : drives(std::move(list)), dir1(reader), file1(reader), fileLength(reader) {}

  // Members are destroyed in reverse: the listers go before their reader.
  WinDriveList drives;
  WinDirectoryReader reader;
  WinDirList dir1;
  WinFileList file1;
  WinFileLength fileLength;
  WinFileSystem fileSystem;
};

WindowsPlatform::WindowsPlatform() : WindowsPlatform(WinDriveList::FromSystem()) {}

WindowsPlatform::WindowsPlatform(WinDriveList drives)
    : impl_(std::make_unique<Impl>(std::move(drives))) {}

WindowsPlatform::~WindowsPlatform() = default;

const WinDriveList& WindowsPlatform::Drives() const { return impl_->drives; }
DirListControl& WindowsPlatform::Dir1() { return impl_->dir1; }
FileListControl& WindowsPlatform::File1() { return impl_->file1; }
FileLengthService& WindowsPlatform::FileLength() { return impl_->fileLength; }
FileSystemService& WindowsPlatform::FileSystem() { return impl_->fileSystem; }

}  // namespace tidwen

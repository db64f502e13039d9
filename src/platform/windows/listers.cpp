#include "platform/windows/listers.h"

#include "platform/windows/error_numbers.h"
#include "platform/windows/file_stamp_win.h"
#include "platform/windows/win32.h"
#include "platform/windows/win_path.h"

namespace tidwen {

std::int64_t WinFileLength::FileLen(std::string_view path) {
  const WinParentAndName split = SplitWinPath(path);
  WinListedFile measured;
  std::uint64_t volume = 0;
  const WinListing* listing = reader_.Newest();
  const WinListedFile* listed = nullptr;
  if (listing && !split.name.empty() && SameWinPath(listing->Path(), split.parent)) {
    listed = listing->FindFile(split.name);
  }
  if (listed) {
    // The walk's case: the directory was listed just now.
    measured = *listed;
    volume = listing->Volume();
  } else {
    const std::optional<WinDrivePath> file = ParseWinDrivePath(path);
    if (!file) throw WinError(kBadFileName, "not a file path:", path);
    if (file->IsRoot()) throw WinError(kFileNotFound, "not a file:", path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file->longPath.c_str(), GetFileExInfoStandard, &data)) {
      throw WinErrorFor(GetLastError(), WinDoing::kReaching, "cannot measure", path);
    }
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
      throw WinError(kFileNotFound, "not a file:", path);
    }
    measured.size = static_cast<std::int64_t>(Join64(data.nFileSizeHigh, data.nFileSizeLow));
    measured.lastWrite = FileTimeValue(data.ftLastWriteTime);
  }
  // A failed call leaves the last file measured as it was.
  path_.assign(path);
  last_ = measured;
  listedVolume_ = volume;
  fromListing_ = listed != nullptr && measured.fileId != 0;
  measured_ = true;
  lastStamp_.reset();
  return measured.size;
}

FileStamp WinFileLength::LastStamp() {
  if (!measured_) return {};
  if (lastStamp_) return *lastStamp_;
  if (fromListing_) {
    // The listing named the file: nothing need be opened.
    lastStamp_ =
        WinStampOf(listedVolume_, last_.fileId, last_.size, last_.lastWrite, last_.creation);
    return *lastStamp_;
  }
  // Stamps are made only for files the scan lists as hits, which are few, so
  // opening the file for its identity costs little.
  const std::optional<WinDrivePath> file = ParseWinDrivePath(path_);
  UniqueHandle h;
  if (file) {
    h = UniqueHandle(CreateFileW(file->longPath.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (h.Valid() && GetFileInformationByHandle(h.Get(), &info) &&
      !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    // Size and write time as measured: a file changed since then will not
    // match the stamp when it is deleted.
    const WinFileId id = FileIdOf(h.Get(), info.dwVolumeSerialNumber,
                                  Join64(info.nFileIndexHigh, info.nFileIndexLow));
    lastStamp_ = WinStampOf(id.volume, id.file, last_.size, last_.lastWrite,
                            FileTimeValue(info.ftCreationTime));
  } else {
    // Gone or changed into something else since it was measured.
    lastStamp_ = WinStampWithoutIdentity(last_.size, last_.lastWrite);
  }
  return *lastStamp_;
}

}  // namespace tidwen

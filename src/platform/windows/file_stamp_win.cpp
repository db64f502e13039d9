#include "platform/windows/file_stamp_win.h"

#include <cstring>

#include "platform/windows/win32.h"

namespace tidwen {

namespace {

// 1601-01-01 to 1970-01-01 in FILETIME units.
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ULL;

// What FILE_ID_INFO says of the handle's file; false where the system has
// no such class.
bool IdInfoOf(void* handle, WinFileId& out) {
  FILE_ID_INFO id;
  if (!GetFileInformationByHandleEx(static_cast<HANDLE>(handle), FileIdInfo, &id, sizeof id)) {
    return false;
  }
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  std::memcpy(&low, id.FileId.Identifier, sizeof low);
  std::memcpy(&high, id.FileId.Identifier + sizeof low, sizeof high);
  // NTFS numbers fit the low half; a full 128-bit number is folded.
  const std::uint64_t file = high == 0 ? low : low ^ (high * 0x9e3779b97f4a7c15ULL);
  out = {id.VolumeSerialNumber, file};
  return true;
}

}  // namespace

WinFileId FileIdOf(void* handle, std::uint32_t volumeSerial, std::uint64_t fileIndex) {
  WinFileId id{volumeSerial, fileIndex};
  IdInfoOf(handle, id);
  return id;
}

WinFileId FileIdOf(void* handle) {
  WinFileId id;
  if (IdInfoOf(handle, id)) return id;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(static_cast<HANDLE>(handle), &info)) return {};
  return {info.dwVolumeSerialNumber, Join64(info.nFileIndexHigh, info.nFileIndexLow)};
}

std::int64_t FileTimeToUnixNs(std::uint64_t fileTime) {
  // Wraps for times past the year 2262 or before 1677, which keeps them
  // distinct all the same.
  return static_cast<std::int64_t>((fileTime - kUnixEpochFileTime) * 100U);
}

FileStamp WinStampOf(std::uint64_t volume, std::uint64_t file, std::int64_t size,
                     std::uint64_t lastWrite, std::uint64_t creation) {
  FileStamp stamp;
  stamp.device = volume;
  stamp.inode = file;
  stamp.empty = size == 0;
  stamp.known = true;
  stamp.identity = StampIdentity::kBirthTime;
  stamp.version =
      StampVersion(size, FileTimeToUnixNs(lastWrite), StampIdentity::kBirthTime, creation);
  return stamp;
}

FileStamp WinStampWithoutIdentity(std::int64_t size, std::uint64_t lastWrite) {
  FileStamp stamp;
  stamp.empty = size == 0;
  stamp.known = true;
  stamp.identity = StampIdentity::kNone;
  stamp.version = StampVersion(size, FileTimeToUnixNs(lastWrite), StampIdentity::kNone, 0);
  return stamp;
}

}  // namespace tidwen

#include "platform/windows/file_stamp_win.h"

namespace tidwen {

namespace {

// 1601-01-01 to 1970-01-01 in FILETIME units.
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ULL;

}  // namespace

std::int64_t FileTimeToUnixNs(std::uint64_t fileTime) {
  // Wraps for times past the year 2262 or before 1677, which keeps them
  // distinct all the same.
  return static_cast<std::int64_t>((fileTime - kUnixEpochFileTime) * 100U);
}

FileStamp WinStampOf(std::uint32_t volumeSerial, std::uint64_t fileIndex, std::int64_t size,
                     std::uint64_t lastWrite, std::uint64_t creation) {
  FileStamp stamp;
  stamp.device = volumeSerial;
  stamp.inode = fileIndex;
  stamp.empty = size == 0;
  stamp.known = true;
  stamp.identity = StampIdentity::kBirthTime;
  stamp.version = StampVersion(size, FileTimeToUnixNs(lastWrite), StampIdentity::kBirthTime, creation);
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

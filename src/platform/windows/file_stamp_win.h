// File stamps on Windows: the volume serial number and the file index tell
// which file it is; the version digest holds its size, last write time and
// creation time, so that a file deleted and made again under the same name
// (and perhaps the same index) does not pass for the one that was looked at.
#pragma once

#include <cstdint>

#include "model/file_stamp.h"

namespace tidwen {

// Which file a handle is open on: its volume's serial number and its file
// number there. Both from FILE_ID_INFO where the system has it (file numbers
// of 128 bits, as on ReFS, folded into 64), else from
// GetFileInformationByHandle, whose values are passed in.
struct WinFileId {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
};
WinFileId FileIdOf(void* handle, std::uint32_t volumeSerial, std::uint64_t fileIndex);
// The same, asking GetFileInformationByHandle only when FILE_ID_INFO is
// missing; {0, 0} when neither answers.
WinFileId FileIdOf(void* handle);

// FILETIME (100 ns since 1601) as nanoseconds since 1970, which fits 64 bits.
std::int64_t FileTimeToUnixNs(std::uint64_t fileTime);

// The stamp of a file from what the system says of it.
FileStamp WinStampOf(std::uint64_t volume, std::uint64_t file, std::int64_t size,
                     std::uint64_t lastWrite, std::uint64_t creation);

// A stamp of a file measured but no longer to be opened: what the listing
// said of it, with nothing to tell it by. It matches no file found later.
FileStamp WinStampWithoutIdentity(std::int64_t size, std::uint64_t lastWrite);

}  // namespace tidwen

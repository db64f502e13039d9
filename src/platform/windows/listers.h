// The directory lister, the file lister and the file-length service of the
// Windows platform, all over one WinDirectoryReader.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/controls.h"
#include "model/services.h"
#include "platform/listing_listers.h"
#include "platform/windows/directory_reader.h"

namespace tidwen {

// Lists the subdirectories of a directory in the file system's order,
// hidden and system ones included, never a reparse point nor a folder
// kept out (kept_out.h).
using WinDirList = ListingDirList<WinDirectoryReader, WinListing, WinLister::kDirs>;

// Lists the files of a directory in the file system's order as the file list
// does by default: no hidden or system file, no reparse point, no directory.
using WinFileList = ListingFileList<WinDirectoryReader, WinListing, WinLister::kFiles>;

// File lengths by drive path. A file of the directory listed last is
// measured from the listing; any other is asked of the system.
class WinFileLength final : public FileLengthService {
 public:
  explicit WinFileLength(const WinDirectoryReader& reader) : reader_(reader) {}
  // Throws RuntimeError: 53 when no file is there (gone, a directory or a
  // reparse point), 52 for no file path, 71 for a drive that is not ready,
  // others by the Win32 error.
  std::int64_t FileLen(std::string_view path) override;
  // Made on first request after a successful FileLen: from the listing for
  // a file measured from it (volume serial, file ID, size, write and
  // creation times), else by opening the file for its volume serial and
  // file index, with the size and write time measured and the creation time
  // read now. Kept until the next FileLen.
  FileStamp LastStamp() override;

 private:
  const WinDirectoryReader& reader_;
  std::string path_;
  WinListedFile last_;
  std::uint64_t listedVolume_ = 0;  // the listing's volume, when measured from it
  bool fromListing_ = false;
  bool measured_ = false;
  std::optional<FileStamp> lastStamp_;
};

}  // namespace tidwen

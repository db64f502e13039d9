// The directory lister, the file lister and the file-length service of the
// Linux platform, all over one DirectoryReader.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/controls.h"
#include "model/services.h"
#include "platform/linux/beneath_opener.h"
#include "platform/linux/directory_reader.h"
#include "platform/listing_listers.h"

namespace tidwen {

// Lists the real subdirectories of a directory, hidden ones included, sorted
// by name bytes. Leaves out links to directories, mount points, the system's
// own trees and names holding "\".
using LinuxDirList = ListingDirList<DirectoryReader, Listing, Lister::kDirs>;

// Lists the regular files of a directory, sorted by name bytes: no hidden
// file (a name beginning with "."), no link, device, FIFO or socket, no name
// holding "\", and none in the system's own trees.
using LinuxFileList = ListingFileList<DirectoryReader, Listing, Lister::kFiles>;

// File lengths by drive path. A file of a directory that a lister holds open
// is measured relative to that directory; any other is reached from its
// drive's mount point without following links.
class LinuxFileLength final : public FileLengthService {
 public:
  LinuxFileLength(const DriveTable& drives, SysCalls& sys, BeneathOpener& opener,
                  const DirectoryReader& reader)
      : drives_(drives), sys_(sys), opener_(opener), reader_(reader) {}
  // Throws RuntimeError: 53 when there is no regular file at the path (gone,
  // a directory or another kind of file, or a directory on the way replaced
  // by a link), 52 for a path that is no file path of a known drive, 71 when
  // the drive's mount point cannot be opened, others by errno.
  std::int64_t FileLen(std::string_view path) override;
  // Made on first request after a successful FileLen, then kept until the
  // next one.
  FileStamp LastStamp() override;

 private:
  // The directory holding the file at path: the one a lister holds open, or
  // one opened into owned. Throws RuntimeError as FileLen does.
  int OpenParent(std::string_view path, std::string_view parent, UniqueFd& owned);

  const DriveTable& drives_;
  SysCalls& sys_;
  BeneathOpener& opener_;
  const DirectoryReader& reader_;
  // The file last measured: its path, its name NUL-terminated, what fstatat
  // said of it, and its stamp once asked for. Buffers are reused.
  std::string path_;
  std::string name_;
  std::string probe_;  // the name being measured
  struct stat last_ {};
  std::optional<std::int64_t> listedBirth_;  // the listing's birth time of it
  bool indexed_ = false;                     // measured from a listing of the volume's index
  bool measured_ = false;
  std::optional<FileStamp> lastStamp_;
};

}  // namespace tidwen

// Deleting files on the drives of a DriveTable, never forced and never
// through a link.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/services.h"
#include "platform/linux/beneath_opener.h"
#include "platform/linux/checked_unlink.h"
#include "platform/linux/drive_table.h"
#include "platform/linux/open_files.h"
#include "platform/linux/sys_calls.h"

namespace tidwen {

// The stamp of the file name in the directory dirFd, which st (from
// fstatat without following links) describes: its device and inode, whether
// it is empty, and the version digest of its size, modification time and
// what else the filesystem offers to tell files apart: the birth time, or
// else the inode generation. A later look can then tell whether the file at
// the path is still this one, unchanged. A link count or status change time
// that moved counts for nothing: deleting another link of the same file
// moves both. Throws RuntimeError(kTooManyFiles) when the system has no
// descriptor left to read the generation with.
FileStamp StampOfFile(SysCalls& sys, int dirFd, const char* name, const struct stat& st);
// The stamp StampOfFile makes of a file whose birth time, or generation,
// is known already.
FileStamp StampWithBirthTime(const struct stat& st, std::int64_t birthNs);
FileStamp StampWithGeneration(const struct stat& st, std::uint64_t generation);

// The same stamp read with a given identity, to be compared with a stamp
// StampOfFile made earlier. Its version is 0 when that identity can no
// longer be read, which matches no stamp.
FileStamp StampOfFileAs(SysCalls& sys, int dirFd, const char* name, const struct stat& st,
                        StampIdentity identity);

// Makes the file-system objects of deletions. Inside a batch it keeps the
// mount point and the last parent directory open, so that deleting the files
// of one directory resolves its path once; outside a batch every object
// resolves its own and nothing outlives it.
//
// A file is deleted only when it is not in use and only as the very file
// that was checked: GetFile opens it and takes a write lease on that
// descriptor (or, where none is granted, looks it up among the files /proc
// lists), refusing a file another process has open or mapped with 70, and
// checks the stamp against what the descriptor shows; Delete removes its
// name with UnlinkChecked, and closing the descriptor ends the lease.
class LinuxFileSystem final : public FileSystemService {
 public:
  LinuxFileSystem(const DriveTable& drives, SysCalls& sys, BeneathOpener& opener)
      : drives_(drives), sys_(sys), opener_(opener) {}
  std::unique_ptr<FileSystemObject> CreateFileSystemObject() override;
  // Batches nest; the outermost EndBatch closes what was kept.
  void BeginBatch() override { ++batchDepth_; }
  void EndBatch() noexcept override;

  // The directory holding the file at a drive path, open as O_PATH, and the
  // file's name. Throws RuntimeError: 52 for no file path of a known drive, 53
  // when there is no such directory (gone, no directory, or a link on the
  // way), 75 when the way enters another filesystem, 71 when the mount
  // point cannot be opened.
  struct Parent {
    std::shared_ptr<UniqueFd> dir;
    std::string_view name;  // points into the path given
    bool cached;            // dir was kept open from an earlier look-up
  };
  Parent OpenParent(std::string_view path);
  // Forgets the directory kept open for the batch.
  void DropCachedParent();
  // Closes whatever the batch keeps open and forgets the open files read;
  // the batch goes on.
  void ReleaseKept() noexcept override;

  // The files other processes hold, for a filesystem without leases: read
  // at the first need in a batch and kept until it ends, or read afresh
  // for each need outside one.
  const OpenFileSnapshot& OpenFiles();
  AsideNames& Names() { return names_; }
  SysCalls& Sys() { return sys_; }

 private:
  const DriveTable& drives_;
  SysCalls& sys_;
  BeneathOpener& opener_;
  int batchDepth_ = 0;
  // Kept only inside a batch.
  std::string cachedParentPath_;
  std::shared_ptr<UniqueFd> cachedParent_;
  char cachedRootLetter_ = 0;
  UniqueFd cachedRoot_;
  std::optional<OpenFileSnapshot> openFiles_;
  AsideNames names_;
};

}  // namespace tidwen

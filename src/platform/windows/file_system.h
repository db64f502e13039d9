// Deleting files on Windows, never forced and never through a reparse point.
//
// GetFile opens the file once, with delete access, sharing nothing (a file
// another program has open is refused with 70) and without following a
// reparse point, checks on that handle that the system resolves it to the
// very path asked for (a link that the attributes do not show, as Wine's
// Unix links, is refused with 70) and that it is still the file that was
// stamped, and Delete deletes through the same handle, so no other file can
// be slipped in between the check and the deletion.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "model/services.h"

namespace tidwen {

struct WinDrivePath;

class WinFileSystem final : public FileSystemService {
 public:
  std::unique_ptr<FileSystemObject> CreateFileSystemObject() override;
  // Batches nest. Inside one, the last parent directory found free of
  // reparse points is remembered, so that deleting many files of one
  // directory checks its path once. Should that directory be swapped for a
  // junction meanwhile, a file reached through it must still match its
  // stamp: only the very file that was found can be deleted.
  void BeginBatch() override { ++batchDepth_; }
  void EndBatch() noexcept override;
  // Forgets the directory checked last: after a message box it is checked
  // afresh, since it may have been swapped meanwhile.
  void ReleaseKept() noexcept override { checkedParent_.clear(); }

  // Throws RuntimeError 53 unless every directory between the drive's root
  // and the file at path is a directory and no reparse point; other numbers
  // by the Win32 error (71 for a drive that is not ready).
  void CheckParents(const WinDrivePath& file);

 private:
  int batchDepth_ = 0;
  std::string checkedParent_;  // only inside a batch
};

}  // namespace tidwen

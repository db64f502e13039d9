// Reads an NTFS volume's Master File Table in one sequential pass into an
// index of every directory's names, instead of reading the directories one
// by one. Everything is found from the boot sector and MFT record 0 itself
// (the MFT's own runlist, with the parts an attribute list puts in
// extension records), so the same code reads a Windows volume handle, a
// Linux block device and an image in memory.
#pragma once

#include <memory>
#include <string>

#include "platform/ntfs/mft_index.h"
#include "platform/ntfs/ntfs_bytes.h"

namespace tidwen {

struct MftRead {
  // nullptr when the volume could not be read whole and sound.
  std::unique_ptr<const MftIndex> index;
  // Whether the boot sector says NTFS: false for another file system, whose
  // failure is no anomaly.
  bool ntfs = false;
  // Why there is no index: the volume is no NTFS volume, or what the reader
  // found wrong with it (a bad record, a fixup mismatch, a runlist out of
  // the volume, a structure out of its bounds).
  std::string failure;
};

// Never throws: any anomaly, an unreadable cluster or a lack of memory
// gives no index and says why.
MftRead ReadMftIndex(VolumeBytes& volume, const MftReadOptions& options);

}  // namespace tidwen

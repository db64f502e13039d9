// Telling whether another process holds a file: by a write lease where the
// filesystem grants one, else by what /proc lists.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/linux/sys_calls.h"

namespace tidwen {

enum class Lease {
  kTaken,        // no other process has the file open or mapped
  kInUse,        // another process has it open or mapped
  kUnavailable,  // no lease here: the filesystem or the caller's rights
};

// Takes a write lease on the file open read-only at fd. The kernel grants
// it only while no other open file description of the file exists, and a
// mapping holds one; once granted, it lasts until fd is closed, and another
// open of the file meanwhile waits for that. A lease break is signalled
// with SIGURG, ignored unless handled, rather than SIGIO, which ends a
// process. Not granted on filesystems without leases (NFS, some FUSE
// ones), or to a caller who neither owns the file nor has CAP_LEASE.
Lease TakeWriteLease(SysCalls& sys, int fd);

// The files the processes of this system hold, read from /proc at one
// moment: those open under /proc/PID/fd and those mapped under
// /proc/PID/maps, of every process that this one may look at (all of them
// for root; a user's own otherwise), this one excepted.
class OpenFileSnapshot {
 public:
  OpenFileSnapshot() = default;
  // Reads /proc now. A process that ends meanwhile, or that may not be
  // looked at, is passed over.
  static OpenFileSnapshot Read();

  bool Holds(std::uint64_t device, std::uint64_t inode) const;
  std::size_t Size() const { return files_.size(); }

 private:
  std::vector<std::pair<std::uint64_t, std::uint64_t>> files_;  // sorted (device, inode)
};

}  // namespace tidwen

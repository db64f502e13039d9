// The Linux side of reading ahead of a walk (platform/read_ahead.h): what a
// worker reads, and the look at an open directory that tells whether a
// listing read ahead still holds when the walk comes to it.
#pragma once

#include <memory>
#include <string>

#include "platform/linux/directory_reader.h"
#include "platform/linux/sys_calls.h"
#include "platform/read_ahead.h"

namespace tidwen {

// A directory the walk will visit: its drive path, its path relative to
// the mount point, and what its listing leaves out.
struct AheadDirectory {
  std::string drivePath;
  std::string relative;
  SystemFilter filter;
};

using LinuxReadAhead = WalkReadAhead<AheadDirectory, Listing>;

// The directory open at fd: its device, inode and change time, and its
// birth time, or else its generation, where the file system keeps one. Not
// known when it cannot be looked at, or changed less than settledNs ago
// (kSettledNanoseconds but in tests) and so too recently to vouch for it.
DirectoryIdentity LookAtDirectory(SysCalls& sys, int fd, std::int64_t settledNs);

// Starts workers threads reading directories beneath the mount point open
// at rootFd (duplicated, so the caller keeps its own), each with the same
// rules as the walk: opened without crossing a link or a mount, filtered as
// every listing is, and each file looked at. sys must take calls from
// several threads. Directories changed less than settledNs ago are left to
// the walk. nullptr when rootFd cannot be duplicated.
std::unique_ptr<LinuxReadAhead> StartLinuxReadAhead(SysCalls& sys, int workers, int rootFd,
                                                    std::int64_t settledNs,
                                                    ReadAheadLimits limits = {});

}  // namespace tidwen

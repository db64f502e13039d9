#include "platform/linux/read_ahead.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>

#include "model/runtime_error.h"

namespace tidwen {

namespace {

std::int64_t Nanoseconds(std::int64_t seconds, std::int64_t nanoseconds) {
  return seconds * 1000000000 + nanoseconds;
}

// How often this thread has slept in the kernel of its own accord: waiting
// on the device, for a worker that takes no lock while it reads.
long VoluntarySwitches() {
  struct rusage usage {};
  if (::getrusage(RUSAGE_THREAD, &usage) != 0) return 0;
  return usage.ru_nvcsw;
}

}  // namespace

DirectoryIdentity LookAtDirectory(SysCalls& sys, int fd, std::int64_t settledNs) {
  DirectoryIdentity identity;
  // The clock first: a change after it shows as a newer change time.
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct statx stx {};
  if (sys.StatX(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &stx) < 0) {
    return identity;
  }
  identity.device = (static_cast<std::uint64_t>(stx.stx_dev_major) << 32) | stx.stx_dev_minor;
  identity.inode = stx.stx_ino;
  identity.changed = Nanoseconds(stx.stx_ctime.tv_sec, stx.stx_ctime.tv_nsec);
  if ((stx.stx_mask & STATX_BTIME) != 0) {
    identity.incarnation =
        static_cast<std::uint64_t>(Nanoseconds(stx.stx_btime.tv_sec, stx.stx_btime.tv_nsec));
  } else if (std::uint64_t generation = 0; sys.GetVersion(fd, &generation) == 0) {
    identity.incarnation = generation;
  }
  identity.known = identity.changed < Nanoseconds(now.tv_sec, now.tv_nsec) - settledNs;
  return identity;
}

namespace {

// Reads one directory beneath the mount point open at root.
LinuxReadAhead::Read ReadOne(SysCalls& sys, int root, BeneathOpener& opener, ListingFiller& filler,
                             std::int64_t settledNs, const AheadDirectory& directory) {
  LinuxReadAhead::Read read;
  const int fd = opener.OpenBeneath(root, directory.relative, O_RDONLY);
  if (fd < 0) return read;
  // The walk opens the directory for itself; nothing read ahead keeps a
  // descriptor.
  const UniqueFd dir(sys, fd);
  read.identity = LookAtDirectory(sys, fd, settledNs);
  // A directory that cannot vouch for its listing is left to the walk.
  if (!read.identity.known) return read;
  auto listing = std::make_shared<Listing>();
  try {
    filler.Fill(*listing, fd, directory.drivePath, directory.filter);
    filler.LookAtFiles(*listing, fd);
  } catch (const RuntimeError&) {
    return read;
  }
  read.bytes = listing->HeldBytes();
  read.listing = std::move(listing);
  return read;
}

}  // namespace

std::unique_ptr<LinuxReadAhead> StartLinuxReadAhead(SysCalls& sys, int workers, int rootFd,
                                                    std::int64_t settledNs,
                                                    ReadAheadLimits limits) {
  const int copy = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return nullptr;  // the walk reads for itself
  auto root = std::make_shared<const UniqueFd>(sys, copy);
  const auto makeReader = [&sys, root, settledNs]() -> LinuxReadAhead::Reader {
    // Each worker opens and reads with tools of its own.
    auto opener = std::make_shared<BeneathOpener>(sys);
    auto filler = std::make_shared<ListingFiller>(sys);
    return [&sys, root, opener, filler, settledNs](const AheadDirectory& directory) {
      const long switches = VoluntarySwitches();
      LinuxReadAhead::Read read = ReadOne(sys, root->Get(), *opener, *filler, settledNs, directory);
      read.waited = VoluntarySwitches() != switches;
      return read;
    };
  };
  return std::make_unique<LinuxReadAhead>(makeReader, workers, limits);
}

}  // namespace tidwen

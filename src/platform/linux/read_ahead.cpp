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

// What this thread has done so far: how often it slept of its own accord
// (waiting on the device, for a worker that takes no lock while it reads),
// its CPU time and the time of day, in microseconds.
struct ThreadClock {
  long sleeps = 0;
  std::int64_t cpuUs = 0;
  std::int64_t wallUs = 0;

  static ThreadClock Now() {
    ThreadClock clock;
    struct rusage usage {};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0) {
      clock.sleeps = usage.ru_nvcsw;
      clock.cpuUs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                    usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
    }
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    clock.wallUs = now.tv_sec * 1000000LL + now.tv_nsec / 1000;
    return clock;
  }
};

// A read waited on the device when it slept and spent most of its time
// away from the CPU: a moment's wait for a lock, or time taken by other
// programs on a busy machine, does not count.
bool WaitedOnDevice(const ThreadClock& before, const ThreadClock& after) {
  constexpr std::int64_t kAwayUs = 200;
  const std::int64_t wall = after.wallUs - before.wallUs;
  const std::int64_t cpu = after.cpuUs - before.cpuUs;
  return after.sleeps != before.sleeps && wall - cpu >= kAwayUs && wall >= 2 * cpu;
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
    auto reads = std::make_shared<unsigned>(0);
    return [&sys, root, opener, filler, settledNs, reads](const AheadDirectory& directory) {
      // One read in four is timed: enough to tell a drive that must be read
      // from, at a quarter of the cost.
      if ((++*reads & 3) != 0)
        return ReadOne(sys, root->Get(), *opener, *filler, settledNs, directory);
      const ThreadClock before = ThreadClock::Now();
      LinuxReadAhead::Read read = ReadOne(sys, root->Get(), *opener, *filler, settledNs, directory);
      read.timed = true;
      read.waited = WaitedOnDevice(before, ThreadClock::Now());
      return read;
    };
  };
  return std::make_unique<LinuxReadAhead>(makeReader, workers, limits);
}

}  // namespace tidwen

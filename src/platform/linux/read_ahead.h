// Reading a drive's directories ahead of a breadth-first walk, on a few
// threads, so that the walk finds each listing, and the lengths of its
// files, ready when it comes to it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/linux/directory_reader.h"
#include "platform/linux/sys_calls.h"

namespace tidwen {

// The walk tells the read-ahead which directories it will visit, in its
// order (Expect), and takes each listing as it comes to its directory
// (Take). Workers read the directories expected next, a bounded number and
// size of them ahead, each with the same rules as the walk: opened beneath
// the drive's mount point without crossing a link or a mount, filtered as
// every listing is. What they cannot read is left to the walk, which reads
// it again at its turn.
class ReadAhead {
 public:
  struct Limits {
    std::size_t directories = 4096;          // listings held ahead of the walk
    std::size_t bytes = std::size_t{64} * 1024 * 1024;  // what those listings hold
  };

  // Starts workers threads on the drive whose mount point is open at rootFd
  // (duplicated, so the caller keeps its own). sys must take calls from
  // several threads.
  ReadAhead(SysCalls& sys, int workers, int rootFd, Limits limits);
  ReadAhead(SysCalls& sys, int workers, int rootFd) : ReadAhead(sys, workers, rootFd, Limits{}) {}
  // Stops and joins the workers; nothing read is kept.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // A directory the walk will visit: its drive path, its path relative to
  // the mount point, and what its listing leaves out.
  struct Expected {
    std::string drivePath;
    std::string relative;
    SystemFilter filter;
  };
  // The walk will visit these directories, in this order, after every
  // directory expected before.
  void Expect(std::vector<Expected> directories);
  // The listing of drivePath read ahead, when it is the directory expected
  // next and was read; waits while a worker is reading it. nullptr when it
  // could not be read, or was not begun; a drivePath other than the one
  // expected next ends the reading ahead, since the walk has gone its own
  // way.
  std::shared_ptr<Listing> Take(std::string_view drivePath);

  // Listings read ahead and not taken yet, and their bytes; for tests.
  std::size_t HeldListings();
  std::size_t HeldBytes();

 private:
  struct Job {
    Expected directory;
    enum class State { kWaiting, kReading, kDone, kFailed } state = State::kWaiting;
    bool dropped = false;  // nobody will take it any more
    std::shared_ptr<Listing> listing;
    std::size_t bytes = 0;
  };

  void Work();
  // The next job to begin, within the limits, or nullptr. Called locked.
  std::shared_ptr<Job> NextJob();
  // Reads one directory; nullptr when it cannot be read. Called unlocked.
  std::shared_ptr<Listing> Read(const Job& job, ListingFiller& filler, BeneathOpener& opener);

  SysCalls& sys_;
  UniqueFd rootFd_;
  Limits limits_;
  std::mutex mutex_;
  std::condition_variable work_;  // a job to do, or stopping
  std::condition_variable done_;  // a job done
  // Jobs in the walk's order; the front is the directory it visits next.
  // Workers take jobs in this order too, so the jobs not yet begun are the
  // last ones: all but the first `begun_`.
  std::deque<std::shared_ptr<Job>> jobs_;
  std::size_t begun_ = 0;
  const Job* awaited_ = nullptr;  // the job the walk waits for, if any
  std::size_t heldBytes_ = 0;
  bool off_ = false;  // the walk went its own way: nothing more is read
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace tidwen

// Reading a drive's directories ahead of a breadth-first walk, on a few
// threads, for either backend: the walk finds each listing ready when it
// comes to its directory, and uses it only when the directory it opens at
// its turn is still, unchanged, the one that was read.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tidwen {

// Which directory a look at an open directory found, and how it stood. Two
// looks agree only when both found the same directory (not another that
// took its number) with nothing added, removed or renamed in it between
// them: every such change sets the change time to the clock's time.
struct DirectoryIdentity {
  std::uint64_t device = 0;       // st_dev; the volume serial number
  std::uint64_t inode = 0;        // st_ino; the file ID
  std::int64_t changed = 0;       // the change time, in the system's own units
  std::uint64_t incarnation = 0;  // birth time or generation where kept, else 0
  // False when the look could not vouch for the directory: it failed, or
  // the last change was so recent that another in the same tick of the
  // file system's clock would leave the change time as it was. Agrees with
  // nothing.
  bool known = false;

  bool Agrees(const DirectoryIdentity& other) const {
    return known && other.known && device == other.device && inode == other.inode &&
           changed == other.changed && incarnation == other.incarnation;
  }
};

// How long ago a directory's last change must lie, by the clock of the look,
// for its change time to vouch for a listing: longer than the coarsest clock
// a file system stamps with, and than the clock's lag behind it.
inline constexpr std::int64_t kSettledNanoseconds = 3'000'000'000;

// Drive paths, the letter in either case, the rest byte for byte.
inline bool SameWalkPath(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a.empty()) return a.size() == b.size();
  return (a[0] | 0x20) == (b[0] | 0x20) && a.substr(1) == b.substr(1);
}

struct ReadAheadLimits {
  std::size_t directories = 4096;                     // listings held ahead of the walk
  std::size_t bytes = std::size_t{64} * 1024 * 1024;  // what those listings hold
  // Threads at most while reads wait on the device: a drive that must be
  // read from is kept busy by many requests at once, not by more cores.
  int workersWhenWaiting = 16;
};

// Directory: what a worker needs to read one directory, with a member
// `std::string drivePath`. Listing: what the backend reads into. The walk
// says which directories it will visit, in its order (Expect), and takes
// each listing as it comes to its directory (Take); workers read the
// directories expected next, within the limits.
template <class Directory, class Listing>
class WalkReadAhead {
 public:
  // One directory read by a worker: nullptr when it could not be read.
  struct Read {
    std::shared_ptr<Listing> listing;
    DirectoryIdentity identity;  // looked at before the entries were read
    std::size_t bytes = 0;
    // Whether the read was timed, and then whether it slept waiting on the
    // device. A reader may time only some reads, as timing costs too.
    bool timed = false;
    bool waited = false;
  };
  // Reads one directory; each worker makes its own, so it may keep buffers.
  using Reader = std::function<Read(const Directory&)>;
  using ReaderMaker = std::function<Reader()>;

  // Starts workers threads, and more, up to limits.workersWhenWaiting,
  // while most reads wait on the device; as many as workers again once
  // they seldom do.
  WalkReadAhead(ReaderMaker makeReader, int workers, ReadAheadLimits limits)
      : limits_(limits), makeReader_(std::move(makeReader)), base_(workers), active_(workers) {
    const std::lock_guard<std::mutex> lock(mutex_);
    StartWorkers();
  }
  // Stops and joins the workers; nothing read is kept.
  ~WalkReadAhead() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    work_.notify_all();
    parked_.notify_all();
    for (std::thread& t : workers_) t.join();
  }
  WalkReadAhead(const WalkReadAhead&) = delete;
  WalkReadAhead& operator=(const WalkReadAhead&) = delete;

  // The walk will visit these directories, in this order, after every
  // directory expected before.
  void Expect(std::vector<Directory> directories) {
    if (directories.empty()) return;
    int wake = 0;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (off_) return;
      for (Directory& directory : directories) {
        auto job = std::make_shared<Job>();
        job->directory = std::move(directory);
        jobs_.push_back(std::move(job));
      }
      wake = std::min(active_, static_cast<int>(directories.size()));
    }
    // No more workers woken than there are new jobs: a wake-up costs.
    for (int i = 0; i < wake; ++i) work_.notify_one();
  }

  // The listing of drivePath read ahead, when it is the directory expected
  // next, was read, and the walk's own look at it now (seen) agrees with the
  // look taken when it was read; waits while a worker reads it. nullptr
  // otherwise: the walk then reads it itself. A drivePath other than the one
  // expected next ends the reading ahead, since the walk has gone its way.
  std::shared_ptr<Listing> Take(std::string_view drivePath, const DirectoryIdentity& seen) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (off_ || jobs_.empty()) return nullptr;
    if (!SameWalkPath(jobs_.front()->directory.drivePath, drivePath)) {
      Stop();
      return nullptr;
    }
    const std::shared_ptr<Job> front = jobs_.front();
    // One being read now is nearly done; reading it again would take longer.
    awaited_ = front.get();
    done_.wait(lock, [&front] { return front->state != State::kReading; });
    awaited_ = nullptr;
    Drop(lock);
    return front->identity.Agrees(seen) ? std::move(front->listing) : nullptr;
  }

  // The walk could not open drivePath and goes on without it: when it is the
  // directory expected next, the reading ahead goes on past it.
  void Pass(std::string_view drivePath) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (off_ || jobs_.empty() || !SameWalkPath(jobs_.front()->directory.drivePath, drivePath)) {
      return;
    }
    Drop(lock);
  }

  // Workers that may read now; for tests.
  int ActiveWorkers() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return active_;
  }
  // Listings read ahead and not taken yet, and their bytes; for tests.
  std::size_t HeldListings() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(std::count_if(jobs_.begin(), jobs_.end(), [](const auto& j) {
      return j->listing != nullptr;
    }));
  }
  std::size_t HeldBytes() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return heldBytes_;
  }

 private:
  enum class State { kWaiting, kReading, kDone };
  struct Job {
    Directory directory;
    State state = State::kWaiting;
    bool dropped = false;  // nobody will take it any more
    std::shared_ptr<Listing> listing;
    DirectoryIdentity identity;
    std::size_t bytes = 0;
  };

  // Removes the front job, which is not being read. Called locked; unlocks.
  void Drop(std::unique_lock<std::mutex>& lock) {
    const std::shared_ptr<Job> front = jobs_.front();
    jobs_.pop_front();
    // A job not begun leaves the ones begun as they were.
    if (front->state != State::kWaiting) --begun_;
    front->dropped = true;
    heldBytes_ -= front->bytes;
    lock.unlock();
    // A place under the limits may have come free.
    work_.notify_one();
  }

  // Starts workers up to active_. Called locked.
  void StartWorkers() {
    for (int i = static_cast<int>(workers_.size()); i < active_; ++i) {
      workers_.emplace_back([this, i, reader = makeReader_()] { Work(reader, i); });
    }
  }

  // Counts one timed read done, and every few sizes the pool: twice as many
  // workers while nearly all reads wait on the device, half as many (but
  // never fewer than asked for) once few do. Called locked.
  void Count(bool waited) {
    constexpr int kWindow = 32;
    waitedInWindow_ += waited ? 1 : 0;
    if (++readsInWindow_ < kWindow) return;
    int wanted = active_;
    if (waitedInWindow_ * 4 >= kWindow * 3) {
      wanted = std::min(std::max(limits_.workersWhenWaiting, base_), active_ * 2);
    } else if (waitedInWindow_ * 4 < kWindow) {
      wanted = std::max(base_, active_ / 2);
    }
    readsInWindow_ = 0;
    waitedInWindow_ = 0;
    if (wanted == active_ || stopping_) return;
    active_ = wanted;
    StartWorkers();
    // Workers now parked leave the work queue; those now active leave the
    // parking.
    work_.notify_all();
    parked_.notify_all();
  }

  // Reads nothing more. Jobs being read are finished by their workers and
  // dropped. Called locked.
  void Stop() {
    off_ = true;
    for (const std::shared_ptr<Job>& job : jobs_) job->dropped = true;
    jobs_.clear();
    begun_ = 0;
    heldBytes_ = 0;
  }

  // The next job to begin, within the limits, or nullptr. Called locked.
  std::shared_ptr<Job> NextJob() {
    if (off_ || heldBytes_ >= limits_.bytes || begun_ >= limits_.directories ||
        begun_ >= jobs_.size()) {
      return nullptr;
    }
    return jobs_[begun_++];
  }

  void Work(const Reader& reader, int index) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      if (index >= active_) {
        // Workers beyond the number active are parked, out of the way of
        // the wake-ups meant for those that work.
        parked_.wait(lock, [&] { return stopping_ || index < active_; });
        if (stopping_) return;
      }
      std::shared_ptr<Job> job;
      work_.wait(lock,
                 [&] { return stopping_ || index >= active_ || (job = NextJob()) != nullptr; });
      if (stopping_) return;
      if (!job) continue;  // parked since
      job->state = State::kReading;
      lock.unlock();
      Read read = reader(job->directory);
      lock.lock();
      if (read.timed) Count(read.waited);
      job->state = State::kDone;
      if (read.listing && !job->dropped) {
        job->listing = std::move(read.listing);
        job->identity = read.identity;
        job->bytes = read.bytes;
        heldBytes_ += job->bytes;
      }
      if (job.get() == awaited_) done_.notify_all();
    }
  }

  ReadAheadLimits limits_;
  ReaderMaker makeReader_;
  int base_;    // workers asked for
  int active_;  // workers that may read now; the rest are parked
  int readsInWindow_ = 0;
  int waitedInWindow_ = 0;
  std::mutex mutex_;
  std::condition_variable work_;    // a job to do, or stopping
  std::condition_variable parked_;  // more workers active, or stopping
  std::condition_variable done_;    // a job done
  // Jobs in the walk's order; the front is the directory it visits next.
  // Workers take jobs in this order too, so the jobs not yet begun are the
  // last ones: all but the first begun_.
  std::deque<std::shared_ptr<Job>> jobs_;
  std::size_t begun_ = 0;
  const Job* awaited_ = nullptr;  // the job the walk waits for, if any
  std::size_t heldBytes_ = 0;
  bool off_ = false;  // the walk went its own way: nothing more is read
  bool stopping_ = false;
  std::vector<std::thread> workers_;  // started once all else is set
};

}  // namespace tidwen

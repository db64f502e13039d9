#include "platform/linux/read_ahead.h"

#include <fcntl.h>

#include <algorithm>

#include "model/runtime_error.h"
#include "platform/linux/drive_path.h"

namespace tidwen {

ReadAhead::ReadAhead(SysCalls& sys, int workers, int rootFd, Limits limits)
    : sys_(sys), limits_(limits) {
  const int copy = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    off_ = true;  // nothing can be read ahead; the walk reads for itself
    return;
  }
  rootFd_ = UniqueFd(sys_, copy);
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void ReadAhead::Expect(std::vector<Expected> directories) {
  if (directories.empty()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (off_) return;
    for (Expected& directory : directories) {
      auto job = std::make_shared<Job>();
      job->directory = std::move(directory);
      jobs_.push_back(std::move(job));
    }
  }
  work_.notify_all();
}

std::shared_ptr<Listing> ReadAhead::Take(std::string_view drivePath) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (off_ || jobs_.empty()) return nullptr;
  if (!SameDrivePath(jobs_.front()->directory.drivePath, drivePath)) {
    // Not the walk this was reading for: stop guessing. Jobs being read are
    // finished by their workers and dropped.
    off_ = true;
    for (const std::shared_ptr<Job>& job : jobs_) job->dropped = true;
    jobs_.clear();
    begun_ = 0;
    heldBytes_ = 0;
    return nullptr;
  }
  const std::shared_ptr<Job> front = jobs_.front();
  // One being read now is nearly done; reading it again would take longer.
  awaited_ = front.get();
  done_.wait(lock, [&front] { return front->state != Job::State::kReading; });
  awaited_ = nullptr;
  jobs_.pop_front();
  // The walk reads a job not begun itself; its workers never see it.
  if (front->state != Job::State::kWaiting) --begun_;
  front->dropped = true;
  heldBytes_ -= front->bytes;
  lock.unlock();
  // A place under the limits may have come free.
  work_.notify_one();
  return std::move(front->listing);
}

std::size_t ReadAhead::HeldListings() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<std::size_t>(std::count_if(jobs_.begin(), jobs_.end(), [](const auto& j) {
    return j->state == Job::State::kDone;
  }));
}

std::size_t ReadAhead::HeldBytes() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return heldBytes_;
}

std::shared_ptr<ReadAhead::Job> ReadAhead::NextJob() {
  if (off_ || heldBytes_ >= limits_.bytes || begun_ >= limits_.directories ||
      begun_ >= jobs_.size()) {
    return nullptr;
  }
  return jobs_[begun_++];
}

std::shared_ptr<Listing> ReadAhead::Read(const Job& job, ListingFiller& filler,
                                         BeneathOpener& opener) {
  const int fd = opener.OpenBeneath(rootFd_.Get(), job.directory.relative, O_RDONLY);
  if (fd < 0) return nullptr;
  const UniqueFd dir(sys_, fd);
  auto listing = std::make_shared<Listing>();
  try {
    filler.Fill(*listing, fd, job.directory.drivePath, job.directory.filter);
    filler.LookAtFiles(*listing, fd);
  } catch (const RuntimeError&) {
    return nullptr;
  }
  // The walk opens the directory for itself; nothing read ahead keeps a
  // descriptor.
  return listing;
}

void ReadAhead::Work() {
  // Each worker opens and reads with tools of its own.
  BeneathOpener opener(sys_);
  ListingFiller filler(sys_);
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    std::shared_ptr<Job> job;
    work_.wait(lock, [&] { return stopping_ || (job = NextJob()) != nullptr; });
    if (stopping_) return;
    job->state = Job::State::kReading;
    lock.unlock();
    std::shared_ptr<Listing> listing = Read(*job, filler, opener);
    lock.lock();
    job->state = listing ? Job::State::kDone : Job::State::kFailed;
    if (listing && !job->dropped) {
      job->bytes = listing->HeldBytes();
      job->listing = std::move(listing);
      heldBytes_ += job->bytes;
    }
    if (job.get() == awaited_) done_.notify_all();
  }
}

}  // namespace tidwen

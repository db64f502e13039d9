#include "frontend/common/worker_commands.h"

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "clean/cleaner.h"
#include "engine/walk.h"
#include "model/runtime_error.h"
#include "scan/drive_walk.h"

namespace tidwen::frontend {

namespace {

// A walk's hits and the file it tests, queued on the worker and shown in
// List1 and Label1 on the window's thread.
class ScanFeed : public CommandFeed {
 public:
  ScanFeed(Form1Context& form, std::shared_ptr<const PathArena> arena)
      : form_(form), arena_(std::move(arena)) {}

  // On the worker, the runner's lock held.
  void QueueHits(std::span<const Hit> hits) {
    for (const Hit& hit : hits) {
      queued_.hits.push_back({hit.dir, queued_.names.size(), hit.name.size(), hit.stamp});
      queued_.names.append(hit.name);
    }
  }
  // Only the latest file shows: the window paints at its rounds alone.
  void QueueTesting(std::string_view file) {
    queued_.caption.assign(file);
    queued_.captioned = true;
  }

  bool Take() override {
    taken_.Clear();
    if (queued_.hits.empty() && !queued_.captioned) return false;
    std::swap(queued_, taken_);
    return true;
  }

  // As the scan shows them on one thread: each hit in List1 and the file
  // in Label1, each with its repaint, which the round lets through.
  void Apply() override {
    for (const QueuedHit& hit : taken_.hits) {
      const std::string_view name = std::string_view(taken_.names).substr(hit.nameAt, hit.length);
      form_.List1.AddPath({arena_, hit.dir, name}, hit.stamp);
    }
    if (!taken_.hits.empty()) form_.List1.Refresh();
    if (taken_.captioned) {
      form_.Label1.SetCaption(taken_.caption);
      form_.Label1.Refresh();
    }
    taken_.Clear();
  }

 private:
  struct QueuedHit {
    PathArena::Index dir;
    std::size_t nameAt;
    std::size_t length;
    FileStamp stamp;
  };
  struct Batch {
    std::vector<QueuedHit> hits;
    std::string names;  // of the hits, back to back
    std::string caption;
    bool captioned = false;
    // Empty, keeping the room.
    void Clear() {
      hits.clear();
      names.clear();
      captioned = false;
    }
  };

  Form1Context& form_;
  std::shared_ptr<const PathArena> arena_;
  Batch queued_;  // the worker's, under the lock
  Batch taken_;   // the window's
};

// The walk's side: queues what the walk hands over.
class QueueingSink : public WalkSink {
 public:
  QueueingSink(CommandWorker& worker, ScanFeed& feed) : worker_(worker), feed_(feed) {}
  void Hits(std::span<const Hit> hits) override {
    worker_.Queue([&] { feed_.QueueHits(hits); });
  }
  void Testing(const WalkProgress& progress) override {
    // The start directory's files have never been shown.
    if (progress.inStart) return;
    worker_.Queue([&] { feed_.QueueTesting(progress.file); });
  }

 private:
  CommandWorker& worker_;
  ScanFeed& feed_;
};

// A deletion's outcomes, queued on the worker and taken into the window on
// its thread, where a failure shows its box.
class DeletionFeed : public CommandFeed {
 public:
  explicit DeletionFeed(WindowDeletion& window) : window_(window) {}

  // On the worker, the runner's lock held.
  void QueueOutcome(std::int64_t i, std::string_view path, const FileStamp& stamp,
                    const DeletionOutcome& outcome) {
    queued_.push_back({i, std::string(path), stamp, outcome});
  }

  bool Take() override {
    taken_.clear();
    if (queued_.empty()) return false;
    std::swap(queued_, taken_);
    return true;
  }
  void Apply() override {
    for (const Outcome& o : taken_) window_.Take(o.i, o.path, o.stamp, o.outcome);
    taken_.clear();
  }

 private:
  struct Outcome {
    std::int64_t i;
    std::string path;
    FileStamp stamp;
    DeletionOutcome outcome;
  };

  WindowDeletion& window_;
  std::vector<Outcome> queued_;
  std::vector<Outcome> taken_;
};

// The deletion's side: queues each outcome; a failure waits for its box.
class QueueingObserver : public DeletionObserver {
 public:
  QueueingObserver(CommandWorker& worker, DeletionFeed& feed, const CheckedEntries& checked)
      : worker_(worker), feed_(feed), checked_(checked) {}
  void Done(std::int64_t i, std::string_view path, const DeletionOutcome& outcome) override {
    const FileStamp stamp = checked_.Stamp(i);
    const auto queue = [&] { feed_.QueueOutcome(i, path, stamp, outcome); };
    // The deletion goes on once the box has been answered; anything else
    // is taken without waiting.
    if (outcome.Failed()) {
      worker_.QueueAndWait(queue);
    } else {
      worker_.Queue(queue);
    }
  }

 private:
  CommandWorker& worker_;
  DeletionFeed& feed_;
  const CheckedEntries& checked_;
};

}  // namespace

void Command1_Click(Form1Context& form, const PlatformServices& platform, CommandRunner& runner) {
  ::tidwen::Command1_Click(form, [&](const std::shared_ptr<PathArena>& arena, std::string_view root,
                                     JunkTypes chosen) {
    ScanFeed feed(form, arena);
    WalkResult walked;
    runner.Run(feed, [&](CommandWorker& worker) {
      QueueingSink sink(worker, feed);
      walked = WalkDrive({platform.Dir1, platform.File1, platform.FileLength}, *arena, root, chosen,
                         sink, &worker.Stop(), {.batch = 1});
    });
    // The window's lists show where the walk left the platform's listers,
    // as they do after a walk through them.
    if (walked.last != PathArena::kNoParent) {
      try {
        const std::string last = arena->Path(walked.last);
        form.Dir1.SetPath(last);
        form.File1.SetPath(form.Dir1.Path());
      } catch (const RuntimeError&) {
        // Gone since: the lists show what they can, as after a browse.
      }
    }
    return walked;
  });
}

void Command2_Click(Form1Context& form, CommandRunner& runner) {
  FileSystemService& fileSystem = form.FileSystem;
  ::tidwen::Command2_Click(form, [&](const CheckedEntries& checked, WindowDeletion& window,
                                     DeletedFiles& deleted) {
    DeletionFeed feed(window);
    runner.Run(feed, [&](CommandWorker& worker) {
      QueueingObserver observer(worker, feed, checked);
      DeleteFiles(fileSystem, checked, deleted, observer, &worker.Stop());
    });
  });
}

}  // namespace tidwen::frontend

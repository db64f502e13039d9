#include "engine/walk.h"

#include <string>
#include <vector>

#include "model/runtime_error.h"

namespace tidwen {

namespace {

// Thrown out of a walk that has run out of descriptors.
struct OutOfDescriptors {};

void SkipUnlessOutOfDescriptors(const RuntimeError& error) {
  if (error.Number() == kTooManyFiles) throw OutOfDescriptors{};
}

class Walker {
 public:
  Walker(const WalkServices& services, PathArena& arena, JunkTypes chosen, WalkSink& sink,
         const StopSignal* stop, const WalkOptions& options)
      : s_(services),
        arena_(arena),
        chosen_(chosen),
        sink_(sink),
        stop_(stop),
        batch_(options.batch == 0 ? 1 : options.batch) {}

  WalkResult Run(std::string_view start) {
    try {
      Walk(start);
    } catch (const OutOfDescriptors&) {
      result_.outOfDescriptors = true;
    } catch (...) {
      // What was found until then is handed over all the same.
      Flush();
      throw;
    }
    Flush();
    result_.end = static_cast<PathArena::Index>(arena_.Count());
    return result_;
  }

 private:
  struct Pending {
    PathArena::Index dir;
    std::size_t nameAt;
    std::size_t nameLength;
    int type;
    std::int64_t length;
    FileStamp stamp;
  };

  bool StopAsked() {
    if (stop_ == nullptr || !stop_->Requested()) return false;
    result_.stopped = true;
    return true;
  }

  // Points both listers at path. False, with nothing else changed, when it
  // cannot be listed: the walk skips it.
  bool Open(const std::string& path) {
    try {
      s_.dirs.SetPath(path);
      s_.files.SetPath(s_.dirs.Path());
      ++result_.directoriesDone;
      return true;
    } catch (const RuntimeError& error) {
      SkipUnlessOutOfDescriptors(error);
      ++result_.directoriesSkipped;
      Flush();
      sink_.Skipped(path, error.Number());
      if (result_.start == PathArena::kNoParent) result_.startError = error.Number();
      return false;
    }
  }

  void Queue(PathArena::Index dir) {
    const std::int64_t count = s_.dirs.ListCount();
    for (std::int64_t i = 0; i < count; ++i) arena_.AddChild(dir, s_.dirs.ListName(i));
  }

  void Walk(std::string_view start) {
    if (StopAsked()) return;
    dirPath_.assign(start);
    if (!Open(dirPath_)) return;
    // The start as the lister writes it ("c:\" for a drive): every path
    // below is built from it.
    result_.start = arena_.AddRoot(s_.dirs.Path());
    result_.last = result_.start;
    TestFiles(result_.start, /*inStart=*/true);
    Queue(result_.start);
    for (std::size_t at = result_.start + std::size_t{1}; at < arena_.Count(); ++at) {
      if (StopAsked()) return;
      const auto dir = static_cast<PathArena::Index>(at);
      dirPath_.clear();
      arena_.AppendPath(dir, dirPath_);
      if (!Open(dirPath_)) continue;
      result_.last = dir;
      // Subdirectories are queued before the directory's files are tested.
      Queue(dir);
      TestFiles(dir, /*inStart=*/false);
    }
  }

  void TestFiles(PathArena::Index dir, bool inStart) {
    filePath_.clear();
    arena_.AppendPath(dir, filePath_);
    if (filePath_.back() != '\\') filePath_.push_back('\\');
    const std::size_t base = filePath_.size();
    const std::int64_t count = s_.files.ListCount();
    for (std::int64_t i = 0; i < count; ++i) {
      if (StopAsked()) return;
      const std::string_view name = s_.files.List(i);
      // The path is built once and serves both the progress and the test.
      filePath_.resize(base);
      filePath_.append(name);
      TestFile(dir, name, inStart);
    }
  }

  void TestFile(PathArena::Index dir, std::string_view name, bool inStart) {
    WalkProgress progress{result_.directoriesDone, result_.filesTested, result_.hits, filePath_,
                          inStart};
    sink_.Testing(progress);
    std::int64_t length = 0;
    try {
      TestJunkFile(
          name, chosen_,
          [&] {
            length = s_.lengths.FileLen(filePath_);
            return length;
          },
          [&](int type) {
            pending_.push_back(
                {dir, names_.size(), name.size(), type, length, s_.lengths.LastStamp()});
            names_.append(name);
            ++result_.hits;
            if (pending_.size() >= batch_) Flush();
          });
    } catch (const RuntimeError& error) {
      // A file that vanished or cannot be measured is skipped; the hits
      // already found for it stay.
      SkipUnlessOutOfDescriptors(error);
      ++result_.filesSkipped;
    }
    ++result_.filesTested;
  }

  void Flush() {
    if (pending_.empty()) return;
    hits_.clear();
    for (const Pending& p : pending_) {
      hits_.push_back({p.dir, std::string_view(names_).substr(p.nameAt, p.nameLength), p.type,
                       p.length, p.stamp});
    }
    pending_.clear();
    sink_.Hits(hits_);
    names_.clear();
  }

  const WalkServices& s_;
  PathArena& arena_;
  JunkTypes chosen_;
  WalkSink& sink_;
  const StopSignal* stop_;
  std::size_t batch_;
  WalkResult result_;
  std::string dirPath_;
  std::string filePath_;
  std::vector<Pending> pending_;
  std::string names_;  // of the pending hits, back to back
  std::vector<Hit> hits_;
};

}  // namespace

WalkResult WalkDrive(const WalkServices& services, PathArena& arena, std::string_view start,
                     JunkTypes chosen, WalkSink& sink, const StopSignal* stop,
                     const WalkOptions& options) {
  return Walker(services, arena, chosen, sink, stop, options).Run(start);
}

}  // namespace tidwen

// Deletion as a verb: a set of files found by a walk in, the outcome of
// each out, with the checks the window's deletion has always made: each
// file must still be the one it was found as (its stamp), a file listed
// twice is deleted once, the directories a batch keeps open are released
// before anything that may wait on the user, and running out of
// descriptors stops the batch.
//
// Threads: the deletion runs on the thread that calls DeleteFiles and calls
// its targets and its observer on that thread alone; another thread may ask
// it to stop (StopSignal).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/stop_signal.h"
#include "model/file_stamp.h"
#include "model/services.h"

namespace tidwen {

enum class DeletionResult {
  kDeleted,
  // Another target of the same file (the same path and stamp) came first
  // and deleted it: nothing was tried.
  kAlreadyDeleted,
  // Not deleted: read-only, changed since it was found, in use, ... The
  // number says why (kPermissionDenied for read-only or changed).
  kRefused,
  // No file at the path any more (kFileNotFound).
  kGone,
};

struct DeletionOutcome {
  DeletionResult result = DeletionResult::kDeleted;
  int number = 0;      // the error number of a failure, 0 otherwise
  std::string reason;  // the system's words for a failure
  bool Failed() const {
    return result == DeletionResult::kRefused || result == DeletionResult::kGone;
  }
};

// The files to delete, in the order they are to be tried.
class DeletionTargets {
 public:
  virtual ~DeletionTargets() = default;
  virtual std::int64_t Count() const = 0;
  // Target i's drive path, valid until the next call of Path().
  virtual std::string_view Path(std::int64_t i) const = 0;
  // The stamp target i was found as; an unknown stamp checks nothing.
  virtual FileStamp Stamp(std::int64_t i) const = 0;
};

class DeletionObserver {
 public:
  virtual ~DeletionObserver() = default;
  // Target i has been dealt with; path is its drive path, valid during the
  // call. Called in order, before the next target is tried. Before a
  // failure is reported the file-system service has released what it keeps
  // (ReleaseKept), so the observer may wait for the user here (the window
  // shows its box), and the deletion goes on only when it returns. Any
  // other outcome must be taken without waiting.
  virtual void Done(std::int64_t i, std::string_view path, const DeletionOutcome& outcome) = 0;
};

// The files a deletion has deleted: by a 128-bit digest of the path and the
// stamp each was found as, so that it holds no paths.
class DeletedFiles {
 public:
  void Add(std::string_view path, const FileStamp& stamp);
  // Whether a file at path found as stamp is one of them. An unknown stamp
  // on either side goes by the path alone; known ones must be equal, so
  // that another file once at the path is still tried.
  bool Contains(std::string_view path, const FileStamp& stamp) const;
  bool Empty() const { return byPath_.empty(); }

 private:
  struct Digest {
    std::uint64_t a = 0, b = 0;
    friend bool operator==(const Digest&, const Digest&) = default;
  };
  struct DigestHash {
    std::size_t operator()(const Digest& d) const { return static_cast<std::size_t>(d.a); }
  };
  static Digest DigestOf(std::string_view path);

  std::unordered_multimap<Digest, FileStamp, DigestHash> byPath_;
};

struct DeletionSummary {
  std::int64_t deleted = 0;
  std::int64_t alreadyDeleted = 0;
  std::int64_t refused = 0;
  std::int64_t gone = 0;
  std::int64_t notTried = 0;  // left when the deletion stopped early
  // A failure said the system has no descriptor left (67): reported, and
  // the rest left untried, since each would fail the same way.
  bool outOfDescriptors = false;
  bool stopped = false;  // asked to stop, between two files
};

// Deletes one file through a new file-system object: never forced, only
// when it is still the file stamp says. Never throws.
DeletionOutcome DeleteFile(FileSystemService& fileSystem, std::string_view path,
                           const FileStamp& stamp);

// Deletes every target in one batch of fileSystem (DeletionBatch). A target
// whose file deleted holds already (another target of the same file, or of
// an earlier deletion given the same set) is reported kAlreadyDeleted and
// not tried; each file deleted is added to deleted.
DeletionSummary DeleteFiles(FileSystemService& fileSystem, const DeletionTargets& targets,
                            DeletedFiles& deleted, DeletionObserver& observer,
                            const StopSignal* stop = nullptr);

}  // namespace tidwen

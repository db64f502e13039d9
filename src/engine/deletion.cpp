#include "engine/deletion.h"

#include <exception>
#include <memory>

#include "model/runtime_error.h"

namespace tidwen {

namespace {

// Two independent 64-bit digests of the same bytes: FNV-1a, and a
// multiply-rotate mix of eight bytes at a time.
std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  return h;
}

std::uint64_t Mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  return h ^ (h >> 33);
}

std::uint64_t WordMix(std::string_view bytes) {
  std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ bytes.size();
  std::uint64_t word = 0;
  int filled = 0;
  for (const char c : bytes) {
    word = word << 8 | static_cast<unsigned char>(c);
    if (++filled == 8) {
      h = Mix(h ^ word) + 0x632be59bd9b4e019ULL;
      word = 0;
      filled = 0;
    }
  }
  return Mix(h ^ word ^ static_cast<std::uint64_t>(filled) << 56);
}

}  // namespace

DeletedFiles::Digest DeletedFiles::DigestOf(std::string_view path) {
  return {Fnv1a(path), WordMix(path)};
}

void DeletedFiles::Add(std::string_view path, const FileStamp& stamp) {
  byPath_.emplace(DigestOf(path), stamp);
}

bool DeletedFiles::Contains(std::string_view path, const FileStamp& stamp) const {
  const auto [first, last] = byPath_.equal_range(DigestOf(path));
  for (auto it = first; it != last; ++it) {
    const FileStamp& deleted = it->second;
    if (!stamp.known || !deleted.known || deleted == stamp) return true;
  }
  return false;
}

DeletionOutcome DeleteFile(FileSystemService& fileSystem, std::string_view path,
                           const FileStamp& stamp) {
  DeletionOutcome outcome;
  try {
    // The file object is released before the file-system object, on every
    // way out, by the order of destruction.
    std::unique_ptr<FileSystemObject> fso = fileSystem.CreateFileSystemObject();
    std::unique_ptr<FileObject> file = fso->GetFile(path, stamp);
    file->Delete();
    return outcome;
  } catch (const RuntimeError& error) {
    outcome.number = error.Number();
    outcome.reason = error.what();
  } catch (const std::exception& error) {
    // No failure of a deletion may reach the caller; one without a number
    // of its own is an internal error.
    outcome.number = kInternalError;
    outcome.reason = error.what();
  }
  outcome.result =
      outcome.number == kFileNotFound ? DeletionResult::kGone : DeletionResult::kRefused;
  return outcome;
}

DeletionSummary DeleteFiles(FileSystemService& fileSystem, const DeletionTargets& targets,
                            DeletedFiles& deleted, DeletionObserver& observer,
                            const StopSignal* stop) {
  DeletionSummary summary;
  DeletionBatch batch(fileSystem);
  const std::int64_t count = targets.Count();
  for (std::int64_t i = 0; i < count; ++i) {
    if (stop != nullptr && stop->Requested()) {
      summary.stopped = true;
      summary.notTried = count - i;
      break;
    }
    const std::string_view path = targets.Path(i);
    const FileStamp stamp = targets.Stamp(i);
    DeletionOutcome outcome;
    if (deleted.Contains(path, stamp)) {
      // Its file went with a target before it: nothing left to delete.
      outcome.result = DeletionResult::kAlreadyDeleted;
      ++summary.alreadyDeleted;
      observer.Done(i, path, outcome);
      continue;
    }
    outcome = DeleteFile(fileSystem, path, stamp);
    switch (outcome.result) {
      case DeletionResult::kDeleted:
        deleted.Add(path, stamp);
        ++summary.deleted;
        break;
      case DeletionResult::kGone:
        ++summary.gone;
        break;
      default:
        ++summary.refused;
        break;
    }
    // The user may take minutes over what a failure shows, and the
    // directories kept may be moved meanwhile.
    if (outcome.Failed()) fileSystem.ReleaseKept();
    observer.Done(i, path, outcome);
    if (outcome.number == kTooManyFiles) {
      // Every file after this one would fail the same way: one report,
      // and the rest stay as they are.
      summary.outOfDescriptors = true;
      summary.notTried = count - i - 1;
      break;
    }
  }
  return summary;
}

}  // namespace tidwen

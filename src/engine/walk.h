// The walk as a verb: a drive, or a folder on one, walked breadth-first in
// the order the window has always walked it, with the hits of the file test
// handed to a sink in batches and the progress reported as values. No
// control is read or written but the two listers and the length service
// the walk is given.
//
// Threads: the walk runs on the thread that calls WalkDrive, and calls the
// sink and the services on that thread alone. It may run on a worker while
// another thread reads the arena (see PathArena) and asks it to stop
// (StopSignal); the services must then be used by nothing else meanwhile
// (a window passes the platform's listers, not its own list widgets).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/junk_test.h"
#include "engine/stop_signal.h"
#include "model/controls.h"
#include "model/file_stamp.h"
#include "model/path_arena.h"
#include "model/services.h"

namespace tidwen {

// One file listed under one junk type.
struct Hit {
  PathArena::Index dir = 0;  // its directory, in the walk's arena
  std::string_view name;     // its bare name; valid during the sink's call
  int type = 0;              // in kJunkTypes
  std::int64_t length = 0;
  FileStamp stamp;  // which file it was found as, for its deletion
};

struct WalkProgress {
  std::int64_t directoriesDone = 0;  // listed so far, the start included
  std::int64_t filesTested = 0;      // before this one
  std::int64_t hits = 0;             // before this one
  // The file about to be tested: its drive path, valid during the call.
  std::string_view file;
  // It lies in the start directory, whose files the window's status line
  // has never shown.
  bool inStart = false;
};

// Every call comes on the walking thread, one at a time, in the walk's
// order. Hits are handed over in batches of WalkOptions::batch, in the
// order they were found, each after the Testing call of its own file;
// what is pending is handed over before a Skipped call and when the walk
// ends, however it ends.
class WalkSink {
 public:
  virtual ~WalkSink() = default;
  // Hits in the window's order.
  virtual void Hits(std::span<const Hit> hits) = 0;
  // Before each file is tested.
  virtual void Testing(const WalkProgress& /*progress*/) {}
  // A directory that could not be listed, skipped, with its error number.
  virtual void Skipped(std::string_view /*directory*/, int /*number*/) {}
};

struct WalkOptions {
  // Hits handed over at once, at most; 1 hands each over as it is found.
  std::size_t batch = 256;
};

// The listers and the length service a walk reads through: a window's
// Dir1, File1 and FileLength, or a platform's own.
struct WalkServices {
  DirListControl& dirs;
  FileListControl& files;
  FileLengthService& lengths;
};

struct WalkResult {
  std::int64_t directoriesDone = 0;
  std::int64_t filesTested = 0;
  std::int64_t hits = 0;
  std::int64_t directoriesSkipped = 0;  // could not be listed
  std::int64_t filesSkipped = 0;        // could not be measured
  // The start directory's error number when it could not be listed (the
  // walk then did nothing else); 0 when it was.
  int startError = 0;
  // The system ran out of descriptors (67): the walk ended there, as
  // every directory after would fail too and a silent skip would look
  // like a clean drive.
  bool outOfDescriptors = false;
  bool stopped = false;  // asked to stop, between two files
  // The walk's directories in the arena: the start, then the queued ones,
  // [start + 1, end), in the order they were queued and walked.
  PathArena::Index start = PathArena::kNoParent;
  PathArena::Index end = 0;
  // The last directory listed, where the listers were left: a window that
  // walked over the platform's own listers (on a worker) shows it in its
  // directory and file lists afterwards. kNoParent when none was.
  PathArena::Index last = PathArena::kNoParent;
};

// Walks start ("c:\", "d:\projects"): tests the start's files, queues its
// subdirectories, then walks every directory it queued, in turn, queueing
// each one's subdirectories before testing its files. Queues into arena,
// after whatever it holds (another walk's directories are never walked
// again). A directory that cannot be listed and a file that cannot be
// measured are skipped; only running out of descriptors ends the walk.
// Throws only what is no RuntimeError (std::bad_alloc); the hits found
// until then have been handed over.
WalkResult WalkDrive(const WalkServices& services, PathArena& arena, std::string_view start,
                     JunkTypes chosen, WalkSink& sink, const StopSignal* stop = nullptr,
                     const WalkOptions& options = {});

}  // namespace tidwen

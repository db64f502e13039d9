// What tests and benchmarks reach beyond the seam: the listers and services
// of a platform as the window-level context takes them, and how many threads
// read a scan's directories ahead. Each backend's platforms are tunable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/form1_context.h"
#include "platform/platform.h"

namespace tidwen {

class TunablePlatform : public Platform {
 public:
  // The listers and services, as the window-level context takes them.
  PlatformServices Services() { return {Dir1(), File1(), FileLength(), FileSystem()}; }

  // Reads the directories of a scan ahead of it with this many threads; 0
  // reads nothing ahead. Nothing the scan shows changes but its speed.
  virtual void SetReadAhead(int workers) = 0;

  // Whether a scan of an NTFS drive's root may read the volume's Master File
  // Table in one pass instead of each directory, where the volume can be
  // read so; it may by default. Nothing the scan shows changes but its
  // speed.
  virtual void SetVolumeIndex(bool use) = 0;
  // How many listings the last scan took from a Master File Table: 0 when
  // it read every directory itself.
  virtual std::int64_t IndexedListings() const = 0;
};

// MakeDirectoryPlatform's platform, as tests and benchmarks tune it.
std::unique_ptr<TunablePlatform> MakeTunablePlatform(const std::string& systemDirectory);

}  // namespace tidwen

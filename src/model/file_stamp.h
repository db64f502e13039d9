// Which file a path named when it was looked at: lets a later deletion make
// sure that the file at the path is still the one the user saw, unchanged.
#pragma once

#include <cstdint>

namespace tidwen {

// What tells two files apart that held one file number one after the other
// (a file deleted and another made under its name), beyond size and
// modification time, which a coarse clock may leave equal.
enum class StampIdentity : std::uint8_t {
  kNone,        // the filesystem offers nothing more
  kBirthTime,   // the file's birth (creation) time
  kGeneration,  // the inode's generation number
};

struct FileStamp {
  // The filesystem and the file's number on it: st_dev and st_ino on Linux,
  // the volume serial number and the file index on Windows.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  // The file was empty when it was looked at.
  bool empty = false;
  // False for a stamp that records nothing; such a stamp checks nothing.
  bool known = false;
  StampIdentity identity = StampIdentity::kNone;
  // A digest of the file's size, its modification time and, as identity
  // says, its birth time or generation (see StampVersion). Writing to the
  // file or replacing it changes it; a new link, a rename or a change of
  // mode does not. 0 records nothing and checks nothing.
  std::uint64_t version = 0;

  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The version digest of a file: never 0, and different whenever any of the
// values differ (but for a 1 in 2^64 chance). modifiedNs is the
// modification time in nanoseconds since any fixed epoch; identityValue is
// the value that StampIdentity names, 0 for kNone.
constexpr std::uint64_t StampVersion(std::int64_t size, std::int64_t modifiedNs,
                                     StampIdentity identity, std::uint64_t identityValue) {
  // splitmix64's finaliser over each value in turn.
  const auto mix = [](std::uint64_t h, std::uint64_t v) {
    std::uint64_t z = h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  };
  std::uint64_t h = mix(0x5469647765ULL, static_cast<std::uint64_t>(size));
  h = mix(h, static_cast<std::uint64_t>(modifiedNs));
  h = mix(h, static_cast<std::uint64_t>(identity));
  h = mix(h, identityValue);
  return h == 0 ? 1 : h;
}

}  // namespace tidwen

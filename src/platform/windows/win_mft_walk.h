// A walk of an NTFS drive served from the volume's Master File Table, on
// Windows: the directory reader hands each listing of the walk over to it,
// and it fills them from one sequential read of the volume (\\.\C:, which
// takes an administrator) instead of one read per directory. The listings
// are those the reader's own would be, by the same rules: in NTFS's order
// of names, no hidden or system file, no reparse point, nothing the
// reader's WinKeptOut keeps out, no tree that is never offered.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/ntfs/mft_index.h"
#include "platform/windows/win_path.h"

namespace tidwen {

class WinKeptOut;
class WinListing;

class WinMftWalk {
 public:
  // kept: what the reader keeps out of its listings; outlives the walk.
  explicit WinMftWalk(const WinKeptOut& kept) : kept_(kept) {}
  ~WinMftWalk();
  WinMftWalk(const WinMftWalk&) = delete;
  WinMftWalk& operator=(const WinMftWalk&) = delete;

  // Whether walks may be served from an index at all (they are by default).
  void SetEnabled(bool enabled) { enabled_ = enabled; }

  // A walk starts at a drive's root, whose listing the reader just read.
  // The volume is read only once the walk has gone its breadth-first way,
  // to a directory that is neither the last one read nor above nor below
  // it, which choosing a directory to show never does.
  void Arm(std::shared_ptr<const WinListing> root);
  // The listing of dir from the index, reading the volume first when the
  // walk has just gone its way, if the drive is NTFS, its volume can be
  // opened, and the index lists the directories the reader read so far
  // (the root and last) as the reader did. nullptr when the reader is to
  // read the directory itself.
  std::shared_ptr<WinListing> Fill(const WinDrivePath& dir, const WinListing* last);

  // Listings of the walk served from the index so far.
  std::int64_t Served() const { return served_; }
  // Drops the index.
  void Release() noexcept;

 private:
  enum class State { kOff, kArmed, kActive };

  bool Start(const WinDrivePath& dir, const WinListing* last);
  std::optional<std::uint32_t> Resolve(const WinDrivePath& dir);
  void FillFrom(WinListing& listing, std::uint32_t record, const WinDrivePath& dir, bool remember);
  bool Agrees(const WinListing& read);

  const WinKeptOut& kept_;
  bool enabled_ = true;
  State state_ = State::kOff;
  std::string last_;  // the directory read last while armed
  std::shared_ptr<const WinListing> root_;
  std::unique_ptr<const MftIndex> index_;
  std::uint64_t volume_ = 0;
  // The MFT's file references are the file IDs a handle gives, as on
  // Windows' own NTFS; else (under Wine) a hit's ID is read from the file.
  bool referencesAreIds_ = false;
  // Listed, not yet read, in the order listed.
  std::deque<std::pair<std::string, std::uint32_t>> listed_;
  std::int64_t served_ = 0;
};

}  // namespace tidwen

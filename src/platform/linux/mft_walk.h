// A walk of an NTFS drive served from the volume's Master File Table: the
// directory reader hands each listing of the walk over to it, and it fills
// them from one sequential read of the volume instead of one read per
// directory. The listings are those the reader's own would be, by the same
// rules (ListingFiller): sorted by name bytes, no hidden files, no links,
// no mount points, no trees that are never offered, nothing of the system's
// trees; and what ntfs-3g shows as a link, device, FIFO or socket is left
// out as it is from its listings.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/file_stamp.h"
#include "platform/linux/beneath_opener.h"
#include "platform/linux/drive_path.h"
#include "platform/linux/sys_calls.h"
#include "platform/linux/system_trees.h"
#include "platform/ntfs/mft_index.h"

namespace tidwen {

struct SystemFilter;

class Listing;
class NtfsDevice;

class MftWalk {
 public:
  MftWalk(SysCalls& sys, BeneathOpener& opener, const SystemTrees& trees);
  ~MftWalk();
  MftWalk(const MftWalk&) = delete;
  MftWalk& operator=(const MftWalk&) = delete;

  // Whether walks may be served from an index at all (they are by default).
  void SetEnabled(bool enabled) { enabled_ = enabled; }

  // A walk may start at the drive whose mount point is open at rootFd:
  // opens its volume's device when the drive is an NTFS volume whose
  // device can be read, and says so; the reader then reads nothing ahead,
  // since the index will serve the walk. Nothing is read from the device
  // yet, and it is closed with Release.
  bool Prepare(int rootFd, std::string_view mountPoint);
  // A walk starts: root is the listing of a drive's root, just read by the
  // reader itself. The index is read only once the walk has gone its
  // breadth-first way, to a directory that is neither the last one read,
  // nor above nor below it: choosing a directory to show never does that,
  // so showing a drive's root never reads its volume.
  void Arm(std::shared_ptr<const Listing> root);
  // Fills listing with the directory at drivePath from the index, reading
  // the index first when the walk has just gone its way, if the drive is
  // an NTFS volume whose device can be read and the index lists the
  // directories read so far (the root and last, which the reader read) as
  // the reader did. False, with listing untouched, when the reader is to
  // read the directory itself.
  bool Fill(Listing& listing, std::string_view drivePath, const DrivePath& parsed, int rootFd,
            const Listing* last);

  // The stamp of a file listed from the index, as st says of it (the
  // index's record number as its inode, its size and modification time)
  // with its creation time (birth). Which file it is and how the file
  // system tells files apart (device and inode, birth time or generation)
  // must be what the deletion will check, as the mount says: the walk's
  // hits are stamped by a look at the file through the mount until one
  // look gives the very stamp the index gives, which shows that the driver
  // numbers files by their records and what identity it keeps; the rest of
  // the walk's hits then take the index's stamp, with no look that would
  // cost a trip to the driver each.
  FileStamp Stamp(const DrivePath& file, int rootFd, const struct stat& st,
                  std::optional<std::int64_t> birth) const;

  // Listings of the walk served from the index so far.
  std::int64_t Served() const { return served_; }
  // Why the last walk read no index, for tests; empty when it did or never
  // tried.
  const std::string& Failure() const { return failure_; }

  // Drops the index and closes what the stamps keep open.
  void Release() noexcept;

 private:
  enum class State { kOff, kArmed, kActive };

  bool Start(std::string_view drivePath, const DrivePath& parsed, int rootFd, const Listing* last);
  // The directory record at drivePath: one the index listed, or one found
  // name by name from the root.
  std::optional<std::uint32_t> Resolve(std::string_view drivePath, const DrivePath& parsed);
  void FillFrom(Listing& listing, std::uint32_t dir, std::string_view drivePath,
                const DrivePath& parsed, bool remember);
  bool Agrees(const Listing& read, const DrivePath& drive);
  bool InterixSpecial(const MftFile& file, std::uint32_t record) const;
  bool MountedBelow(const std::string& relative, std::string_view name) const;
  // The rules ListingFiller::Fill keeps for system trees: the passage the
  // directory lists alone, if it is a tree with one (by path, identity, or
  // name in another system's root); whether a directory holds usr and etc.
  std::string_view PassageOf(std::uint32_t dir, const DrivePath& parsed,
                             const SystemFilter& filter) const;
  bool HoldsRootMarks(std::uint32_t dir) const;
  static std::size_t RootMark(std::string_view name);
  static constexpr std::size_t kAllRootMarks = (std::size_t{1} << std::size(kSystemRootMarks)) - 1;

  SysCalls& sys_;
  BeneathOpener& opener_;
  const SystemTrees& trees_;
  bool enabled_ = true;
  State state_ = State::kOff;
  std::string last_;  // the directory read last while armed
  std::shared_ptr<const Listing> root_;
  std::unique_ptr<NtfsDevice> device_;  // from Prepare to the index's read
  std::unique_ptr<const MftIndex> index_;
  std::uint64_t deviceNumber_ = 0;
  bool ntfs3g_ = false;
  std::vector<std::string> mountsBelow_;  // sorted
  // The subdirectories listed and not yet read, by drive path.
  std::deque<std::pair<std::string, std::uint32_t>> listed_;
  std::int64_t served_ = 0;
  std::string failure_;
  FileStamp LookedAtStamp(const DrivePath& file, int rootFd, const struct stat& st) const;
  FileStamp IndexStamp(const struct stat& st, std::optional<std::int64_t> birth,
                       StampIdentity identity) const;

  // The directory of the file stamped last, kept open for the next.
  mutable std::string stampParent_;
  mutable UniqueFd stampDir_;
  mutable std::optional<StampIdentity> identity_;
  mutable bool indexStamps_ = false;  // the index's stamps are the mount's
};

}  // namespace tidwen

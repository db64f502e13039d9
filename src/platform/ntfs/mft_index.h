// What one read of a volume's Master File Table gives a scan: every file
// record in use, and every directory's names, each directory's in the order
// its backend lists them. Built once per walk by ReadMftIndex
// (mft_reader.h); the backends list directories from it by their own
// rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ntfs/ntfs_record.h"

namespace tidwen {

// FILE_ATTRIBUTE_* as $STANDARD_INFORMATION keeps them.
inline constexpr std::uint32_t kNtfsHidden = 0x0002;
inline constexpr std::uint32_t kNtfsSystem = 0x0004;
inline constexpr std::uint32_t kNtfsReparsePoint = 0x0400;
inline constexpr std::uint32_t kNtfsCompressed = 0x0800;

// What the index keeps of one file record.
struct MftFile {
  std::int64_t size = 0;         // of the unnamed $DATA: the logical size, sparse or compressed
  std::uint64_t modified = 0;    // $STANDARD_INFORMATION's last write, FILETIME
  std::uint32_t attributes = 0;  // $STANDARD_INFORMATION's FILE_ATTRIBUTE_*
  std::uint16_t sequence = 0;
  std::uint8_t flags = 0;  // kInUse, kDirectory, kReparse

  static constexpr std::uint8_t kInUse = 1;
  static constexpr std::uint8_t kDirectory = 2;
  static constexpr std::uint8_t kReparse = 4;  // a reparse point: a junction, a link, ...
  static constexpr std::uint8_t kBase = 8;     // a base record, not an extension

  bool InUse() const { return (flags & kInUse) != 0; }
  bool Directory() const { return (flags & kDirectory) != 0; }
  bool Reparse() const { return (flags & kReparse) != 0; }
};

// How the names of each directory are ordered: by their bytes (as the Linux
// walk sorts them), or by NTFS's own collation from the volume's $UpCase
// (as Windows lists a directory).
enum class MftOrder { kBytes, kCollation };

struct MftReadOptions {
  MftOrder order = MftOrder::kBytes;
  // Keep the first eight bytes of the unnamed $DATA of every system file:
  // ntfs-3g shows such a file as a link or device by them.
  bool systemHeads = false;
  // Keep every file's creation time, which a stamp holds where the file
  // system gives it (Windows, ntfs3); 8 bytes a record.
  bool creationTimes = true;
};

class MftIndex {
 public:
  static constexpr std::uint32_t kRoot = 5;
  // Records below this are the volume's own metafiles, never listed.
  static constexpr std::uint32_t kFirstUserRecord = 16;

  // One name of a directory.
  struct Entry {
    std::uint32_t record;
    std::uint32_t nameOffset;
    std::uint16_t nameLength;  // at most 765 bytes, and kHoldsBackslash
    // The sequence number the name expects of its directory: a name that
    // points at a directory since reused is not listed.
    std::uint16_t parentSequence;
  };
  static constexpr std::uint16_t kHoldsBackslash = 0x8000;

  // The names in directory record dir, ordered as asked for; none for a
  // record that is no directory in use. A hard link stands once under each
  // of its names; DOS-only names, names of records not in use and names
  // that point at a parent no longer there are left out.
  std::span<const Entry> Children(std::uint32_t dir) const;
  // A name of an entry (WTF-8: UTF-8 but for unpaired surrogates).
  std::string_view Name(const Entry& e) const {
    return std::string_view(names_).substr(e.nameOffset, e.nameLength & (kHoldsBackslash - 1));
  }
  // Whether a name holds "\", which no drive path can hold; told without
  // a look at the name.
  static bool HoldsBackslash(const Entry& e) { return (e.nameLength & kHoldsBackslash) != 0; }
  const MftFile& File(std::uint32_t record) const { return files_[record]; }
  // The directory record at a path below the root, its names split by
  // separator, found name by name, as written; no junction or link is
  // entered. nullopt when there is none.
  std::optional<std::uint32_t> DirectoryAt(std::string_view relative, char separator) const;
  // $STANDARD_INFORMATION's creation time (FILETIME); nullopt when the
  // index was not asked to keep it.
  std::optional<std::uint64_t> Created(std::uint32_t record) const {
    if (created_.empty()) return std::nullopt;
    return created_[record];
  }
  // The file reference of a record: its number and its sequence number,
  // which Windows gives as the file ID.
  std::uint64_t Reference(std::uint32_t record) const {
    return record | (static_cast<std::uint64_t>(files_[record].sequence) << 48);
  }
  // The first eight bytes of the data of a system file, when they were
  // asked for and the file has that many; nullptr otherwise.
  const std::uint64_t* SystemHead(std::uint32_t record) const;

  std::uint64_t Serial() const { return serial_; }
  // Runs of the MFT's own data: more than one when it is fragmented.
  std::size_t MftRuns() const { return mftRuns_; }
  // Names found in extension records, which an attribute list joins to
  // their base records.
  std::size_t ExtensionNames() const { return extensionNames_; }
  std::size_t Records() const { return files_.size(); }
  // Bytes the index holds.
  std::size_t HeldBytes() const;

 private:
  friend class MftIndexBuilder;

  std::vector<MftFile> files_;             // by record number
  std::vector<std::uint64_t> created_;     // by record number, when kept
  std::vector<std::uint32_t> firstChild_;  // by record number, one past the last
  std::vector<Entry> entries_;
  std::string names_;
  std::vector<std::pair<std::uint32_t, std::uint64_t>> systemHeads_;  // sorted by record
  std::uint64_t serial_ = 0;
  std::size_t mftRuns_ = 0;
  std::size_t extensionNames_ = 0;
};

// Gathers what the records say, in any order of records, then checks that
// it all holds together and builds the index.
class MftIndexBuilder {
 public:
  MftIndexBuilder(const MftReadOptions& options, std::uint64_t serial, std::size_t mftRuns);
  ~MftIndexBuilder();

  // Makes room for this many records, the MFT's size, so that nothing is
  // copied as the index grows.
  void Reserve(std::size_t records);
  // A record in use at position number of the MFT, its fixups applied.
  // Throws NtfsAnomaly.
  void Add(std::uint32_t number, std::span<const std::byte> record, const RecordHeader& header);
  // Joins extension records to their bases, drops what is not there,
  // reads what the index still needs ($UpCase, heads of system files),
  // and orders each directory. Throws NtfsAnomaly.
  std::unique_ptr<MftIndex> Finish(ClusterReader& clusters);

 private:
  struct Pending;
  void AddAttribute(std::uint32_t base, std::uint16_t baseSequence, bool extension,
                    const Attribute& a);
  void Group();
  void ReadUpcase(ClusterReader& clusters);
  void ReadSystemHeads(ClusterReader& clusters);
  void Order();

  MftReadOptions options_;
  std::unique_ptr<MftIndex> index_;
  std::unique_ptr<Pending> pending_;
};

}  // namespace tidwen

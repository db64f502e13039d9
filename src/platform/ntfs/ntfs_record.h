// The on-disk structures of NTFS that the Master File Table reader reads:
// the boot sector, a file record with its update-sequence fixups, the
// attributes in a record, and the runlists that map an attribute's clusters
// onto the volume. Every parser checks each structure against the bytes it
// lies in and throws NtfsAnomaly when one does not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/ntfs/ntfs_bytes.h"

namespace tidwen {

// What the boot sector says of the volume.
struct NtfsBoot {
  std::uint32_t sectorSize = 0;
  std::uint32_t clusterSize = 0;
  std::uint32_t recordSize = 0;  // of an MFT record
  std::uint64_t clusters = 0;    // on the volume
  std::uint64_t mftCluster = 0;  // where the MFT's first record lies
  std::uint64_t serial = 0;
};

// The bytes the reader asks for first, which hold the boot sector.
inline constexpr std::size_t kBootBytes = 4096;

// Whether the first bytes of a volume are an NTFS boot sector at all; a
// volume of another file system is no anomaly, only not ours.
bool IsNtfsBootSector(std::span<const std::byte> first);
// The boot sector's geometry, checked: sizes that are powers of two, a
// cluster of at most 2 MiB, records of 256 bytes to 64 KiB, an MFT inside
// the volume. Throws NtfsAnomaly.
NtfsBoot ParseBootSector(std::span<const std::byte> first);

// Attribute types the reader uses.
enum class AttributeType : std::uint32_t {
  kStandardInformation = 0x10,
  kAttributeList = 0x20,
  kFileName = 0x30,
  kData = 0x80,
  kReparsePoint = 0xC0,
  kEnd = 0xFFFFFFFF,
};

// Record header flags.
inline constexpr std::uint16_t kRecordInUse = 0x0001;
inline constexpr std::uint16_t kRecordIsDirectory = 0x0002;

// Attribute flags of a non-resident attribute.
inline constexpr std::uint16_t kAttributeCompressed = 0x00FF;
inline constexpr std::uint16_t kAttributeEncrypted = 0x4000;
inline constexpr std::uint16_t kAttributeSparse = 0x8000;

// $FILE_NAME namespaces: a name only for DOS is a second name of a file
// whose Win32 name is listed.
inline constexpr std::uint8_t kNamespaceDos = 2;

// What a record header says, once its fixups are applied.
struct RecordHeader {
  std::uint16_t sequence = 0;
  std::uint16_t flags = 0;
  // The base record of an extension record, as a reference (record number
  // in the low 48 bits, sequence number above); 0 for a base record.
  std::uint64_t baseReference = 0;
};

// What a record's first bytes say before anything is checked.
enum class RecordState {
  kUnused,  // never written (zeros) or marked free: nothing to read
  kInUse,
};
// Tells an unused record from one in use; throws NtfsAnomaly for a record
// that is neither a file record nor empty ("BAAD" or anything else).
RecordState StateOf(std::span<const std::byte> record);

// Applies the update sequence of a record in place: the last two bytes of
// every 512-byte stride, whatever the sector size, must hold the update
// sequence number, and get back the bytes the array kept for them. Throws
// NtfsAnomaly for an array out of the record or a stride that does not
// match (a torn write).
void ApplyFixups(std::span<std::byte> record);

// The header of a record whose fixups are applied; throws NtfsAnomaly when
// the attributes would not lie inside it.
RecordHeader ReadRecordHeader(std::span<const std::byte> record);

// One attribute of a record.
struct Attribute {
  AttributeType type = AttributeType::kEnd;
  bool resident = true;
  std::uint16_t flags = 0;
  std::span<const std::byte> name;   // UTF-16LE units; empty for the unnamed one
  std::span<const std::byte> value;  // resident only
  // Non-resident only.
  std::uint64_t lowestVcn = 0;
  std::uint64_t highestVcn = 0;
  std::uint64_t allocatedSize = 0;
  std::uint64_t dataSize = 0;
  std::uint64_t initializedSize = 0;
  std::span<const std::byte> runs;
};

// The attributes of a record in order, up to the end marker. Throws
// NtfsAnomaly for an attribute out of the record's bytes in use, one whose
// parts do not fit it, or a missing end marker.
class AttributeCursor {
 public:
  // record: a record whose fixups are applied and whose header was read.
  explicit AttributeCursor(std::span<const std::byte> record);
  // The next attribute into out; false at the end marker.
  bool Next(Attribute& out);

 private:
  std::span<const std::byte> inUse_;  // the record's bytes in use
  std::size_t at_;
};

// One run of a runlist: clusters vcn .. vcn + length - 1 of the attribute
// lie at lcn .. on the volume; lcn is -1 for a sparse run, which has none.
struct Run {
  std::uint64_t vcn = 0;
  std::int64_t lcn = -1;
  std::uint64_t length = 0;
};

// Appends a name of UTF-16LE units as WTF-8 (as AppendWtf8 of wtf8.h
// does), and says whether it holds "\". Throws NtfsAnomaly for "/" or
// NUL, which no file system writes in a name.
bool AppendFileName(std::span<const std::byte> units, std::string& out);

// Decodes a runlist that starts at firstVcn. Throws NtfsAnomaly for a run
// of no clusters, a field wider than eight bytes, a cluster outside the
// volume's clusters, or a list without its end marker.
std::vector<Run> DecodeRuns(std::span<const std::byte> runs, std::uint64_t firstVcn,
                            std::uint64_t clusters);

// Reads clusters of a volume for the builder and the reader.
class ClusterReader {
 public:
  ClusterReader(VolumeBytes& volume, const NtfsBoot& boot) : volume_(volume), boot_(boot) {}
  const NtfsBoot& Boot() const { return boot_; }
  // Reads count clusters from lcn into out, which holds exactly that many.
  // Throws NtfsAnomaly when they lie outside the volume or cannot be read.
  void Read(std::uint64_t lcn, std::uint64_t count, std::span<std::byte> out);
  // Bytes [offset, offset + out.size()) of a non-resident attribute whose
  // runs cover them; sparse runs and bytes from initialized on read as
  // zeros. offset is a multiple of the cluster size.
  void ReadStream(const std::vector<Run>& runs, std::uint64_t offset, std::uint64_t initialized,
                  std::span<std::byte> out);

 private:
  VolumeBytes& volume_;
  const NtfsBoot& boot_;
  std::vector<std::byte> cluster_;  // for a last cluster read in part
};

}  // namespace tidwen

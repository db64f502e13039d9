#include "platform/ntfs/mft_reader.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <vector>

namespace tidwen {

namespace {

// Records are read in pieces of this size, or of a cluster or record when
// larger: few enough calls, little memory.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// What the MFT's own $DATA is: where its clusters lie and how much of it
// holds records.
struct MftData {
  std::vector<Run> runs;
  std::uint64_t size = 0;
  std::uint64_t initialized = 0;
};

// A part of the MFT's $DATA that an attribute list puts in an extension.
struct ListedPart {
  std::uint64_t lowestVcn;
  std::uint64_t reference;
};

// The unnamed $DATA parts of one record, and its attribute list if any.
struct RecordData {
  std::vector<Run> runs;
  bool sized = false;  // it holds the part that starts at cluster 0
  std::uint64_t size = 0;
  std::uint64_t initialized = 0;
  std::vector<std::byte> list;  // the attribute list's bytes
};

RecordData DataOf(std::span<const std::byte> record, ClusterReader& clusters) {
  RecordData out;
  AttributeCursor cursor(record);
  Attribute a;
  while (cursor.Next(a)) {
    if (a.type == AttributeType::kAttributeList) {
      if (a.resident) {
        out.list.assign(a.value.begin(), a.value.end());
      } else {
        if (a.dataSize > (std::uint64_t{1} << 24)) throw NtfsAnomaly("an attribute list too long");
        out.list.resize(a.dataSize);
        clusters.ReadStream(DecodeRuns(a.runs, 0, clusters.Boot().clusters), 0, a.initializedSize,
                            out.list);
      }
    }
    if (a.type != AttributeType::kData || !a.name.empty()) continue;
    if (a.resident) throw NtfsAnomaly("an MFT held in its own record");
    const std::vector<Run> runs = DecodeRuns(a.runs, a.lowestVcn, clusters.Boot().clusters);
    out.runs.insert(out.runs.end(), runs.begin(), runs.end());
    if (a.lowestVcn == 0) {
      out.sized = true;
      out.size = a.dataSize;
      out.initialized = a.initializedSize;
    }
  }
  return out;
}

// The parts of the unnamed $DATA that an attribute list places outside
// record 0.
std::vector<ListedPart> ListedDataParts(std::span<const std::byte> list) {
  std::vector<ListedPart> parts;
  for (std::size_t at = 0; at + 0x1A <= list.size();) {
    const std::size_t length = U16(list, at + 4);
    if (length < 0x1A || length > list.size() - at) throw NtfsAnomaly("a bad attribute list");
    const std::span<const std::byte> e = list.subspan(at, length);
    at += length;
    if (U32(e, 0) != static_cast<std::uint32_t>(AttributeType::kData) || U8(e, 6) != 0) continue;
    const std::uint64_t reference = U64(e, 0x10);
    if ((reference & 0xFFFFFFFFFFFF) != 0) parts.push_back({U64(e, 0x08), reference});
  }
  return parts;
}

// Reads record number of the MFT whose clusters data's runs lay out so
// far; false when they do not reach it yet.
bool ReadRecord(ClusterReader& clusters, const MftData& data, std::uint64_t number,
                std::vector<std::byte>& record) {
  const NtfsBoot& boot = clusters.Boot();
  if (number > 0xFFFFFFFF) throw NtfsAnomaly("a reference past any MFT");
  const std::uint64_t offset = number * boot.recordSize;
  const std::uint64_t first = offset / boot.clusterSize * boot.clusterSize;
  const std::uint64_t span =
      (offset + boot.recordSize - first + boot.clusterSize - 1) / boot.clusterSize;
  for (std::uint64_t vcn = first / boot.clusterSize; vcn < first / boot.clusterSize + span; ++vcn) {
    if (std::none_of(data.runs.begin(), data.runs.end(),
                     [vcn](const Run& r) { return r.vcn <= vcn && vcn - r.vcn < r.length; })) {
      return false;
    }
  }
  std::vector<std::byte> bytes(span * boot.clusterSize);
  clusters.ReadStream(data.runs, first, ~std::uint64_t{0}, bytes);
  record.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset - first),
                bytes.begin() + static_cast<std::ptrdiff_t>(offset - first + boot.recordSize));
  if (StateOf(record) != RecordState::kInUse) throw NtfsAnomaly("an MFT record not in use");
  ApplyFixups(record);
  return true;
}

// The MFT's own runlist: record 0's, joined with the parts its attribute
// list places in extension records.
MftData LocateMft(ClusterReader& clusters) {
  const NtfsBoot& boot = clusters.Boot();
  MftData data;
  // Record 0 lies at the cluster the boot sector names.
  data.runs.push_back({0, static_cast<std::int64_t>(boot.mftCluster),
                       (boot.recordSize + boot.clusterSize - 1) / boot.clusterSize});
  std::vector<std::byte> record;
  ReadRecord(clusters, data, 0, record);
  const RecordHeader header = ReadRecordHeader(record);
  if (header.baseReference != 0) throw NtfsAnomaly("record 0 is an extension");
  RecordData own = DataOf(record, clusters);
  if (!own.sized) throw NtfsAnomaly("no start of the MFT's data in record 0");
  data.runs = std::move(own.runs);
  data.size = own.size;
  data.initialized = own.initialized;
  std::vector<ListedPart> parts = ListedDataParts(own.list);
  // An extension may lie in clusters only another extension maps: read
  // whichever the runs reach, until none is left or none can be reached.
  while (!parts.empty()) {
    const std::size_t before = parts.size();
    for (auto p = parts.begin(); p != parts.end();) {
      if (!ReadRecord(clusters, data, p->reference & 0xFFFFFFFFFFFF, record)) {
        ++p;
        continue;
      }
      const RecordHeader extension = ReadRecordHeader(record);
      if (extension.baseReference != (std::uint64_t{header.sequence} << 48) ||
          extension.sequence != static_cast<std::uint16_t>(p->reference >> 48)) {
        throw NtfsAnomaly("an MFT extension that is not record 0's");
      }
      RecordData more = DataOf(record, clusters);
      data.runs.insert(data.runs.end(), more.runs.begin(), more.runs.end());
      p = parts.erase(p);
    }
    if (parts.size() == before) throw NtfsAnomaly("an MFT extension out of the MFT's reach");
  }
  std::sort(data.runs.begin(), data.runs.end(),
            [](const Run& a, const Run& b) { return a.vcn < b.vcn; });
  std::uint64_t vcn = 0;
  for (const Run& r : data.runs) {
    if (r.vcn != vcn || r.lcn < 0) throw NtfsAnomaly("the MFT's runs leave a gap");
    vcn += r.length;
  }
  if (vcn > boot.clusters || data.size > vcn * boot.clusterSize ||
      data.size % boot.recordSize != 0 || data.size / boot.recordSize <= MftIndex::kRoot ||
      data.size / boot.recordSize > 0xFFFFFFFF) {
    throw NtfsAnomaly("an MFT whose size its runs do not hold");
  }
  return data;
}

std::unique_ptr<MftIndex> ReadAll(VolumeBytes& volume, const MftReadOptions& options,
                                  const NtfsBoot& boot) {
  ClusterReader clusters(volume, boot);
  const MftData data = LocateMft(clusters);
  MftIndexBuilder builder(options, boot.serial, data.runs.size());
  builder.Reserve(static_cast<std::size_t>(data.size / boot.recordSize));
  // Records past the initialized part were never written.
  const std::uint64_t end = std::min(data.size, data.initialized);
  // Whole clusters and records, and no more than the MFT holds.
  const std::size_t unit = std::max(boot.clusterSize, boot.recordSize);
  const std::size_t chunk = static_cast<std::size_t>(
      std::min<std::uint64_t>(std::max(kChunkBytes, unit), (end + unit - 1) / unit * unit));
  std::vector<std::byte> buffer(chunk);
  for (std::uint64_t at = 0; at < end; at += chunk) {
    const std::uint64_t wanted = std::min<std::uint64_t>(chunk, end - at);
    const std::size_t records =
        static_cast<std::size_t>((wanted + boot.recordSize - 1) / boot.recordSize);
    const std::span<std::byte> bytes(buffer.data(), records * boot.recordSize);
    clusters.ReadStream(data.runs, at, data.initialized, bytes);
    for (std::size_t i = 0; i < records; ++i) {
      const std::span<std::byte> record = bytes.subspan(i * boot.recordSize, boot.recordSize);
      if (StateOf(record) != RecordState::kInUse) continue;
      ApplyFixups(record);
      // Its number is where it lies, whatever its header says.
      const auto number = static_cast<std::uint32_t>(at / boot.recordSize + i);
      builder.Add(number, record, ReadRecordHeader(record));
    }
  }
  return builder.Finish(clusters);
}

}  // namespace

MftRead ReadMftIndex(VolumeBytes& volume, const MftReadOptions& options) {
  MftRead read;
  try {
    std::vector<std::byte> first(kBootBytes);
    if (!volume.ReadAt(0, first)) {
      read.failure = "the boot sector cannot be read";
      return read;
    }
    if (!IsNtfsBootSector(first)) {
      read.failure = "no NTFS volume";
      return read;
    }
    read.ntfs = true;
    read.index = ReadAll(volume, options, ParseBootSector(first));
  } catch (const NtfsAnomaly& anomaly) {
    read.failure = anomaly.what();
  } catch (const std::bad_alloc&) {
    read.failure = "not enough memory for the index";
  } catch (const std::length_error&) {
    read.failure = "not enough memory for the index";
  }
  return read;
}

}  // namespace tidwen

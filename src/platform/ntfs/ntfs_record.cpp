#include "platform/ntfs/ntfs_record.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tidwen {

namespace {

// Update sequences protect every 512 bytes of a record.
constexpr std::size_t kStride = 512;

constexpr std::string_view kOemId = "NTFS    ";

bool IsPowerOfTwo(std::uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

// A size the boot sector gives as a signed byte: clusters when positive,
// else 2 to the power of its negation, in bytes.
std::uint64_t SizeFromClusters(std::int8_t code, std::uint64_t clusterSize) {
  if (code > 0) return static_cast<std::uint64_t>(code) * clusterSize;
  const int shift = -static_cast<int>(code);
  if (shift < 8 || shift > 16) throw NtfsAnomaly("a record size out of range");
  return std::uint64_t{1} << shift;
}

}  // namespace

bool IsNtfsBootSector(std::span<const std::byte> first) {
  if (first.size() < 512) return false;
  for (std::size_t i = 0; i < kOemId.size(); ++i) {
    if (std::to_integer<char>(first[3 + i]) != kOemId[i]) return false;
  }
  return U16(first, 0x1FE) == 0xAA55;
}

NtfsBoot ParseBootSector(std::span<const std::byte> first) {
  if (!IsNtfsBootSector(first)) throw NtfsAnomaly("no NTFS boot sector");
  NtfsBoot boot;
  boot.sectorSize = U16(first, 0x0B);
  if (!IsPowerOfTwo(boot.sectorSize) || boot.sectorSize < 256 || boot.sectorSize > 4096) {
    throw NtfsAnomaly("a sector size out of range");
  }
  const std::uint8_t code = U8(first, 0x0D);
  // Past 128 the byte is the negated power of two of the sectors.
  const std::uint64_t sectorsPerCluster =
      code <= 0x80 ? code : std::uint64_t{1} << (256 - static_cast<unsigned>(code));
  const std::uint64_t clusterSize = sectorsPerCluster * boot.sectorSize;
  if (!IsPowerOfTwo(sectorsPerCluster) || clusterSize > (std::uint64_t{2} << 20)) {
    throw NtfsAnomaly("a cluster size out of range");
  }
  boot.clusterSize = static_cast<std::uint32_t>(clusterSize);
  const std::uint64_t recordSize =
      SizeFromClusters(static_cast<std::int8_t>(U8(first, 0x40)), clusterSize);
  if (!IsPowerOfTwo(recordSize) || recordSize < kStride || recordSize > 65536) {
    throw NtfsAnomaly("a record size out of range");
  }
  boot.recordSize = static_cast<std::uint32_t>(recordSize);
  boot.clusters = U64(first, 0x28) / sectorsPerCluster;
  boot.mftCluster = U64(first, 0x30);
  boot.serial = U64(first, 0x48);
  if (boot.clusters == 0 || boot.mftCluster >= boot.clusters ||
      boot.clusters > (std::uint64_t{1} << 48)) {
    throw NtfsAnomaly("the MFT outside the volume");
  }
  return boot;
}

RecordState StateOf(std::span<const std::byte> record) {
  const std::uint32_t magic = U32(record, 0);
  if (magic == 0) return RecordState::kUnused;                                    // never written
  if (magic != 0x454C4946) throw NtfsAnomaly("a record that is no file record");  // "FILE"
  return (U16(record, 0x16) & kRecordInUse) != 0 ? RecordState::kInUse : RecordState::kUnused;
}

void ApplyFixups(std::span<std::byte> record) {
  const std::span<const std::byte> view(record);
  const std::size_t offset = U16(view, 0x04);
  const std::size_t count = U16(view, 0x06);
  if (record.size() % kStride != 0 || count != record.size() / kStride + 1 || offset < 8 ||
      offset % 2 != 0 || offset + 2 * count > kStride - 2) {
    throw NtfsAnomaly("an update sequence array out of its record");
  }
  const std::byte* usn = record.data() + offset;
  for (std::size_t i = 1; i < count; ++i) {
    std::byte* end = record.data() + i * kStride - 2;
    if (end[0] != usn[0] || end[1] != usn[1]) throw NtfsAnomaly("a fixup that does not match");
    end[0] = usn[2 * i];
    end[1] = usn[2 * i + 1];
  }
}

RecordHeader ReadRecordHeader(std::span<const std::byte> record) {
  RecordHeader header;
  header.sequence = U16(record, 0x10);
  header.flags = U16(record, 0x16);
  header.baseReference = U64(record, 0x20);
  const std::size_t firstAttribute = U16(record, 0x14);
  const std::size_t inUse = U32(record, 0x18);
  if (inUse > record.size() || firstAttribute < 0x18 || firstAttribute % 8 != 0 ||
      firstAttribute + 4 > inUse) {
    throw NtfsAnomaly("a record whose attributes lie outside it");
  }
  return header;
}

AttributeCursor::AttributeCursor(std::span<const std::byte> record)
    : inUse_(SubSpan(record, 0, U32(record, 0x18))), at_(U16(record, 0x14)) {}

bool AttributeCursor::Next(Attribute& out) {
  const std::uint32_t type = U32(inUse_, at_);
  if (type == static_cast<std::uint32_t>(AttributeType::kEnd)) return false;
  const std::size_t length = U32(inUse_, at_ + 4);
  if (length < 0x18 || length % 8 != 0 || length > inUse_.size() - at_) {
    throw NtfsAnomaly("an attribute out of its record");
  }
  const std::span<const std::byte> a = inUse_.subspan(at_, length);
  at_ += length;
  out = Attribute{};
  out.type = static_cast<AttributeType>(type);
  out.resident = U8(a, 0x08) == 0;
  out.flags = U16(a, 0x0C);
  out.name = SubSpan(a, U16(a, 0x0A), std::size_t{2} * U8(a, 0x09));
  if (out.resident) {
    out.value = SubSpan(a, U16(a, 0x14), U32(a, 0x10));
    return true;
  }
  if (length < 0x40) throw NtfsAnomaly("a non-resident attribute too short");
  out.lowestVcn = U64(a, 0x10);
  out.highestVcn = U64(a, 0x18);
  out.allocatedSize = U64(a, 0x28);
  out.dataSize = U64(a, 0x30);
  out.initializedSize = U64(a, 0x38);
  const std::size_t runs = U16(a, 0x20);
  if (runs < 0x40 || runs > length) throw NtfsAnomaly("a runlist out of its attribute");
  out.runs = a.subspan(runs);
  // Sizes past 2^62 cannot be a volume's: they are damage, and would
  // overflow what is computed from them.
  if (out.dataSize > out.allocatedSize || out.initializedSize > out.dataSize ||
      out.allocatedSize >= (std::uint64_t{1} << 62) || out.lowestVcn > out.highestVcn + 1) {
    throw NtfsAnomaly("attribute sizes that do not agree");
  }
  return true;
}

std::vector<Run> DecodeRuns(std::span<const std::byte> runs, std::uint64_t firstVcn,
                            std::uint64_t clusters) {
  std::vector<Run> out;
  std::uint64_t vcn = firstVcn;
  std::int64_t lcn = 0;
  std::size_t at = 0;
  while (true) {
    const std::uint8_t head = U8(runs, at++);
    if (head == 0) return out;
    const std::size_t lengthBytes = head & 0x0F;
    const std::size_t offsetBytes = head >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8) {
      throw NtfsAnomaly("a run whose fields are out of range");
    }
    const std::span<const std::byte> fields = SubSpan(runs, at, lengthBytes + offsetBytes);
    at += lengthBytes + offsetBytes;
    std::uint64_t length = 0;
    for (std::size_t i = 0; i < lengthBytes; ++i) {
      length |= static_cast<std::uint64_t>(std::to_integer<std::uint8_t>(fields[i])) << (8 * i);
    }
    if (length == 0 || length > clusters) throw NtfsAnomaly("a run of no or too many clusters");
    Run run{vcn, -1, length};
    if (offsetBytes > 0) {
      std::uint64_t delta = 0;
      for (std::size_t i = 0; i < offsetBytes; ++i) {
        delta |= static_cast<std::uint64_t>(std::to_integer<std::uint8_t>(fields[lengthBytes + i]))
                 << (8 * i);
      }
      // Sign-extend from the top byte given.
      if (offsetBytes < 8 && (delta >> (8 * offsetBytes - 1)) & 1) {
        delta |= ~std::uint64_t{0} << (8 * offsetBytes);
      }
      // In unsigned arithmetic, so that damage cannot overflow a signed sum.
      const std::uint64_t next = static_cast<std::uint64_t>(lcn) + delta;
      if (next >= clusters || length > clusters - next) {
        throw NtfsAnomaly("a run outside the volume");
      }
      lcn = static_cast<std::int64_t>(next);
      run.lcn = lcn;
    }
    if (vcn + length < vcn || vcn + length > (std::uint64_t{1} << 62)) {
      throw NtfsAnomaly("a runlist past any volume");
    }
    vcn += length;
    out.push_back(run);
  }
}

void ClusterReader::Read(std::uint64_t lcn, std::uint64_t count, std::span<std::byte> out) {
  if (lcn >= boot_.clusters || count > boot_.clusters - lcn ||
      out.size() != count * boot_.clusterSize) {
    throw NtfsAnomaly("clusters outside the volume");
  }
  if (!volume_.ReadAt(lcn * boot_.clusterSize, out)) throw NtfsAnomaly("clusters not readable");
}

void ClusterReader::ReadStream(const std::vector<Run>& runs, std::uint64_t offset,
                               std::uint64_t initialized, std::span<std::byte> out) {
  const std::uint64_t size = boot_.clusterSize;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t vcn = (offset + done) / size;
    const auto run = std::find_if(runs.begin(), runs.end(), [vcn](const Run& r) {
      return r.vcn <= vcn && vcn - r.vcn < r.length;
    });
    if (run == runs.end()) throw NtfsAnomaly("data its runs do not cover");
    const std::uint64_t left = run->vcn + run->length - vcn;
    const std::uint64_t whole = std::min<std::uint64_t>(left, (out.size() - done) / size);
    const std::uint64_t count = whole > 0 ? whole : 1;
    std::span<std::byte> target =
        out.subspan(done, std::min<std::size_t>(count * size, out.size() - done));
    std::span<std::byte> into = target;
    if (target.size() < size) {
      cluster_.resize(size);
      into = cluster_;
    }
    if (run->lcn < 0) {
      std::memset(into.data(), 0, into.size());
    } else {
      Read(static_cast<std::uint64_t>(run->lcn) + (vcn - run->vcn), count, into);
    }
    if (into.data() != target.data()) std::memcpy(target.data(), into.data(), target.size());
    done += target.size();
  }
  if (initialized < offset + out.size()) {
    const std::size_t from =
        initialized > offset ? static_cast<std::size_t>(initialized - offset) : 0;
    std::memset(out.data() + from, 0, out.size() - from);
  }
}

bool AppendFileName(std::span<const std::byte> units, std::string& out) {
  bool backslash = false;
  const std::size_t count = units.size() / 2;
  const auto unit = [&units](std::size_t i) {
    return static_cast<std::uint32_t>(std::to_integer<std::uint8_t>(units[2 * i])) |
           (static_cast<std::uint32_t>(std::to_integer<std::uint8_t>(units[2 * i + 1])) << 8);
  };
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t u = unit(i);
    if (u == 0 || u == '/') throw NtfsAnomaly("a name holding \"/\" or NUL");
    backslash = backslash || u == '\\';
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    // A pair is one code point; a surrogate without its partner stands for
    // itself.
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 &&
        unit(i + 1) <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    }
    if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
    } else if (u < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (u >> 18)));
      out.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
  return backslash;
}

}  // namespace tidwen

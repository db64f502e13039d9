#include "ntfs_builder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace tidwen::test {

namespace {

constexpr std::uint64_t kMftOffset = 65536;
constexpr std::uint32_t kUpcaseBytes = 131072;
constexpr std::uint32_t kMftExtension = 15;

void Put(std::string& out, std::size_t at, std::uint64_t value, int bytes) {
  if (out.size() < at + bytes) out.resize(at + bytes, '\0');
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>(value >> (8 * i));
}

std::string Units(const std::u16string& name) {
  std::string out;
  for (const char16_t u : name) Put(out, out.size(), u, 2);
  return out;
}

std::size_t Align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

struct Run {
  std::int64_t lcn;  // -1 for a hole
  std::uint64_t length;
};

int BytesOf(std::uint64_t value, bool isSigned) {
  int n = 1;
  while (n < 8) {
    const auto v = static_cast<std::int64_t>(value);
    const std::int64_t limit = std::int64_t{1} << (8 * n - 1);
    if (isSigned ? (v >= -limit && v < limit) : (value < (std::uint64_t{1} << (8 * n - 1)))) break;
    ++n;
  }
  return n;
}

std::string EncodeRuns(const std::vector<Run>& runs) {
  std::string out;
  std::int64_t lcn = 0;
  for (const Run& r : runs) {
    const int lengthBytes = BytesOf(r.length, false);
    const std::uint64_t delta = static_cast<std::uint64_t>(r.lcn - lcn);
    const int offsetBytes = r.lcn < 0 ? 0 : BytesOf(delta, true);
    out.push_back(static_cast<char>(lengthBytes | (offsetBytes << 4)));
    Put(out, out.size(), r.length, lengthBytes);
    if (offsetBytes > 0) {
      Put(out, out.size(), delta, offsetBytes);
      lcn = r.lcn;
    }
  }
  out.push_back('\0');
  return out;
}

std::string Resident(std::uint32_t type, const std::u16string& name, const std::string& value) {
  const std::size_t valueAt = Align8(0x18 + 2 * name.size());
  std::string a;
  Put(a, 0, type, 4);
  Put(a, 8, 0, 1);
  Put(a, 9, name.size(), 1);
  Put(a, 0x0A, 0x18, 2);
  Put(a, 0x10, value.size(), 4);
  Put(a, 0x14, valueAt, 2);
  a.resize(valueAt);
  a.replace(0x18, 2 * name.size(), Units(name));
  a += value;
  a.resize(Align8(a.size()));
  Put(a, 4, a.size(), 4);
  return a;
}

// A part of a non-resident $DATA; the part at cluster 0 gives the sizes of
// all of it, which spans allocated bytes (0: its own runs').
std::string NonResident(std::uint64_t lowestVcn, const std::vector<Run>& runs, std::uint64_t size,
                        std::uint32_t clusterSize, std::uint16_t flags = 0,
                        std::uint64_t allocated = 0) {
  std::uint64_t clusters = 0;
  for (const Run& r : runs) clusters += r.length;
  std::string a;
  Put(a, 0, 0x80, 4);
  Put(a, 8, 1, 1);
  Put(a, 0x0A, 0x40, 2);
  Put(a, 0x0C, flags, 2);
  Put(a, 0x10, lowestVcn, 8);
  Put(a, 0x18, lowestVcn + clusters - 1, 8);
  Put(a, 0x20, 0x40, 2);
  if (allocated == 0) allocated = (lowestVcn + clusters) * clusterSize;
  Put(a, 0x28, lowestVcn == 0 ? allocated : 0, 8);
  Put(a, 0x30, lowestVcn == 0 ? size : 0, 8);
  Put(a, 0x38, lowestVcn == 0 ? size : 0, 8);
  a += EncodeRuns(runs);
  a.resize(Align8(a.size()));
  Put(a, 4, a.size(), 4);
  return a;
}

std::string FileName(const NtfsBuilder::Name& n, std::uint16_t parentSequence) {
  std::string v;
  Put(v, 0, n.parent | (static_cast<std::uint64_t>(parentSequence) << 48), 8);
  Put(v, 0x40, n.name.size(), 1);
  Put(v, 0x41, n.space, 1);
  return Resident(0x30, u"", v.substr(0, 0x42) + Units(n.name));
}

std::string StandardInformation(std::uint32_t attributes, std::uint32_t number) {
  std::string v;
  // Times that tell records apart.
  Put(v, 0x00, 132000000000000000ULL + number, 8);
  Put(v, 0x08, 133000000000000000ULL + 7 * number, 8);
  Put(v, 0x20, attributes, 4);
  Put(v, 0x47, 0, 1);
  return Resident(0x10, u"", v);
}

std::uint16_t Upper(std::uint16_t u) {
  if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7) ||
      (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2) || (u >= 0x430 && u <= 0x44F)) {
    return static_cast<std::uint16_t>(u - 0x20);
  }
  return u == 0xFF ? 0x178 : u;
}

}  // namespace

NtfsBuilder::NtfsBuilder(std::uint32_t sectorSize, std::uint32_t clusterSize)
    : sectorSize_(sectorSize),
      clusterSize_(clusterSize),
      recordSize_(std::max<std::uint32_t>(1024, sectorSize)),
      records_(16) {
  for (Record& r : records_) r.inUse = false;
  Record& mft = records_[0];
  mft.inUse = true;
  mft.attributes = 0x6;
  mft.names = {{5, u"$MFT"}};
  Record& root = records_[5];
  root.inUse = true;
  root.directory = true;
  root.sequence = 5;
  root.attributes = 0x6;
  root.names = {{5, u"."}};
  Record& upcase = records_[10];
  upcase.inUse = true;
  upcase.attributes = 0x6;
  upcase.names = {{5, u"$UpCase"}};
}

std::uint32_t NtfsBuilder::Add(Record record) {
  records_.push_back(std::move(record));
  return static_cast<std::uint32_t>(records_.size() - 1);
}

std::uint64_t NtfsBuilder::MftClusters() const {
  const std::size_t records = std::max<std::size_t>(records_.size(), 24);
  return (records * recordSize_ + clusterSize_ - 1) / clusterSize_;
}

std::uint64_t NtfsBuilder::UpcaseCluster() const {
  return kMftOffset / clusterSize_ + MftClusters() + 1;
}

std::uint64_t NtfsBuilder::SecondRunCluster() const {
  return UpcaseCluster() + kUpcaseBytes / clusterSize_ + 3;
}

std::size_t NtfsBuilder::RecordOffset(std::uint32_t number) const {
  const std::uint64_t byte = std::uint64_t{number} * recordSize_;
  const std::uint64_t firstRun = (16 * recordSize_ + clusterSize_ - 1) / clusterSize_;
  if (split_ && byte / clusterSize_ >= firstRun) {
    return SecondRunCluster() * clusterSize_ + (byte - firstRun * clusterSize_);
  }
  return kMftOffset + byte;
}

std::string NtfsBuilder::Serialize(std::uint32_t number, const Record& r) const {
  const std::size_t count = recordSize_ / 512 + 1;
  const std::size_t first = Align8(0x30 + 2 * count);
  std::string out;
  Put(out, 0, 0x454C4946, 4);
  Put(out, 0x04, 0x30, 2);
  Put(out, 0x06, count, 2);
  Put(out, 0x10, r.sequence, 2);
  Put(out, 0x12, r.names.size(), 2);
  Put(out, 0x14, first, 2);
  Put(out, 0x16, (r.inUse ? 1 : 0) | (r.directory ? 2 : 0), 2);
  Put(out, 0x1C, recordSize_, 4);
  Put(out, 0x20, r.base, 8);
  Put(out, 0x2C, r.headerNumber.value_or(number), 4);
  out.resize(first);
  const std::uint64_t firstRun = (16 * recordSize_ + clusterSize_ - 1) / clusterSize_;
  const std::uint64_t mftCluster = kMftOffset / clusterSize_;
  if (r.base == 0) out += StandardInformation(r.attributes, number);
  if (number == 0 && split_) {
    // An attribute list: the MFT's $DATA starts here and goes on in 15.
    std::string list;
    const auto entry = [&](std::uint32_t type, std::uint64_t vcn, std::uint64_t reference) {
      std::string e;
      Put(e, 0, type, 4);
      Put(e, 4, 0x20, 2);
      Put(e, 7, 0x1A, 1);
      Put(e, 8, vcn, 8);
      Put(e, 0x10, reference, 8);
      e.resize(0x20);
      list += e;
    };
    entry(0x10, 0, std::uint64_t{records_[0].sequence} << 48);
    entry(0x80, 0, std::uint64_t{records_[0].sequence} << 48);
    entry(0x80, firstRun, kMftExtension | (std::uint64_t{records_[kMftExtension].sequence} << 48));
    out += Resident(0x20, u"", list);
  }
  for (const Name& n : r.names) {
    const std::uint16_t sequence =
        n.parentSequence != 0 ? n.parentSequence : records_.at(n.parent).sequence;
    out += FileName(n, sequence);
  }
  const std::uint64_t total = MftClusters();
  if (number == 0) {
    const std::uint64_t size = std::max<std::size_t>(records_.size(), 24) * recordSize_;
    out += split_ ? NonResident(0, {{static_cast<std::int64_t>(mftCluster), firstRun}}, size,
                                clusterSize_, 0, total * clusterSize_)
                  : NonResident(0, {{static_cast<std::int64_t>(mftCluster), total}}, size,
                                clusterSize_);
  } else if (number == kMftExtension && split_) {
    out +=
        NonResident(firstRun, {{static_cast<std::int64_t>(SecondRunCluster()), total - firstRun}},
                    0, clusterSize_);
  } else if (number == 10 && upcase_) {
    out += NonResident(0,
                       {{static_cast<std::int64_t>(UpcaseCluster()),
                         kUpcaseBytes / clusterSize_ + (kUpcaseBytes % clusterSize_ != 0)}},
                       kUpcaseBytes, clusterSize_);
  } else if (r.sparseSize >= 0) {
    const std::uint64_t clusters = (r.sparseSize + clusterSize_ - 1) / clusterSize_;
    out += NonResident(0, {{-1, std::max<std::uint64_t>(clusters, 1)}}, r.sparseSize, clusterSize_,
                       0x8000);
  } else if (!r.directory && r.base == 0) {
    out += Resident(0x80, u"", r.data);
  }
  for (std::size_t i = 0; i < r.streams.size(); ++i) {
    out += Resident(0x80, u"s" + std::u16string(1, static_cast<char16_t>(u'0' + i)), r.streams[i]);
  }
  if (r.reparse) out += Resident(0xC0, u"", std::string(16, '\x01'));
  Put(out, out.size(), 0xFFFFFFFF, 4);
  out.resize(Align8(out.size()));
  if (out.size() > recordSize_) throw std::length_error("a record too full");
  Put(out, 0x18, out.size(), 4);
  out.resize(recordSize_, '\0');
  // The update sequence: each stride's last two bytes move to the array.
  Put(out, 0x30, 0x0001, 2);
  for (std::size_t i = 1; i < count; ++i) {
    out[0x30 + 2 * i] = out[i * 512 - 2];
    out[0x30 + 2 * i + 1] = out[i * 512 - 1];
    Put(out, i * 512 - 2, 0x0001, 2);
  }
  return out;
}

std::vector<std::byte> NtfsBuilder::Build() const {
  const std::uint64_t clusters = SecondRunCluster() + MftClusters() + 8;
  std::string image(clusters * clusterSize_, '\0');
  std::string boot(512, '\0');
  boot.replace(3, 8, "NTFS    ");
  Put(boot, 0x0B, sectorSize_, 2);
  const std::uint32_t sectors = clusterSize_ / sectorSize_;
  Put(boot, 0x0D, sectors <= 128 ? sectors : 256 - std::countr_zero(sectors), 1);
  Put(boot, 0x28, clusters * sectors, 8);
  Put(boot, 0x30, kMftOffset / clusterSize_, 8);
  Put(boot, 0x38, kMftOffset / clusterSize_, 8);
  const std::int8_t perRecord = recordSize_ >= clusterSize_
                                    ? static_cast<std::int8_t>(recordSize_ / clusterSize_)
                                    : static_cast<std::int8_t>(-std::countr_zero(recordSize_));
  Put(boot, 0x40, static_cast<std::uint8_t>(perRecord), 1);
  Put(boot, 0x48, 0x1234ABCD5678EF00ULL, 8);
  Put(boot, 0x1FE, 0xAA55, 2);
  image.replace(0, 512, boot);
  const std::size_t count = std::max<std::size_t>(records_.size(), 24);
  for (std::uint32_t n = 0; n < count; ++n) {
    const bool mftPart = n == kMftExtension && split_;
    if (!mftPart && (n >= records_.size() || (!records_[n].inUse && records_[n].names.empty()))) {
      continue;
    }
    Record r = n < records_.size() ? records_[n] : Record{};
    if (mftPart) {
      r = Record{};
      r.base = std::uint64_t{records_[0].sequence} << 48;
    }
    image.replace(RecordOffset(n), recordSize_, Serialize(n, r));
  }
  if (upcase_) {
    std::string table;
    for (std::uint32_t u = 0; u < 65536; ++u) Put(table, table.size(), Upper(u), 2);
    image.replace(UpcaseCluster() * clusterSize_, table.size(), table);
  }
  std::vector<std::byte> bytes(image.size());
  std::memcpy(bytes.data(), image.data(), image.size());
  return bytes;
}

}  // namespace tidwen::test

#include "platform/ntfs/mft_index.h"

#include <algorithm>
#include <cstring>

#include "platform/ntfs/ntfs_collation.h"

namespace tidwen {

namespace {

constexpr std::uint64_t kRecordMask = (std::uint64_t{1} << 48) - 1;
constexpr std::uint32_t kUpcaseRecord = 10;
constexpr std::uint8_t kNamed = 0x10;  // a directory whose one name was counted

std::uint16_t SequenceOf(std::uint64_t reference) {
  return static_cast<std::uint16_t>(reference >> 48);
}

// A record number that the index can hold, from a reference.
std::uint32_t RecordOf(std::uint64_t reference) {
  const std::uint64_t record = reference & kRecordMask;
  if (record > 0xFFFFFFFE) throw NtfsAnomaly("a reference past any MFT");
  return static_cast<std::uint32_t>(record);
}

// Appends a name of UTF-16LE units as WTF-8 (as AppendWtf8 of wtf8.h
// does), without a copy of its own. Throws NtfsAnomaly for "/" or NUL, which
// no file system writes in a name.
void AppendName(std::span<const std::byte> raw, std::string& out) {
  const std::size_t units = raw.size() / 2;
  const auto unit = [&raw](std::size_t i) {
    return static_cast<std::uint32_t>(std::to_integer<std::uint8_t>(raw[2 * i])) |
           (static_cast<std::uint32_t>(std::to_integer<std::uint8_t>(raw[2 * i + 1])) << 8);
  };
  for (std::size_t i = 0; i < units; ++i) {
    std::uint32_t u = unit(i);
    if (u == 0 || u == '/') throw NtfsAnomaly("a name holding \"/\" or NUL");
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    // A pair is one code point; a surrogate without its partner stands for
    // itself.
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
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
}

}  // namespace

struct MftIndexBuilder::Pending {
  // A $FILE_NAME, to be checked once every record is known.
  struct Name {
    std::uint32_t parent;
    std::uint32_t record;
    std::uint32_t nameOffset;
    std::uint16_t nameLength;
    std::uint16_t parentSequence;
  };
  std::vector<Name> names;
  // Names in extension records, with the sequence number their base must
  // still have.
  std::vector<std::pair<Name, std::uint16_t>> extensionNames;
  // What an extension record says of its base.
  struct Extension {
    std::uint32_t base;
    std::uint16_t sequence;
    bool reparse;
    std::int64_t size;  // -1 when it holds no start of the unnamed $DATA
  };
  std::vector<Extension> extensions;
  // Where the first bytes of a file's data lie.
  struct Head {
    std::uint32_t record;
    std::uint16_t sequence;  // the base's
    bool compressed;
    std::int64_t lcn;  // -1 for data held in the record, or a hole
    std::uint64_t initialized;
    std::uint64_t bytes;  // held in the record, or read later
  };
  std::vector<Head> heads;
  // $UpCase, as record 10 describes it.
  std::vector<Run> upcaseRuns;
  std::uint64_t upcaseSize = 0;
  std::uint64_t upcaseInitialized = 0;
  std::vector<std::byte> upcaseResident;
  UpcaseTable upcase;
};

const std::uint64_t* MftIndex::SystemHead(std::uint32_t record) const {
  const auto found = std::lower_bound(systemHeads_.begin(), systemHeads_.end(), record,
                                      [](const auto& h, std::uint32_t r) { return h.first < r; });
  return found != systemHeads_.end() && found->first == record ? &found->second : nullptr;
}

std::span<const MftIndex::Entry> MftIndex::Children(std::uint32_t dir) const {
  if (dir >= firstChild_.size()) return {};
  const std::uint32_t begin = dir == 0 ? 0 : firstChild_[dir - 1];
  return std::span<const Entry>(entries_).subspan(begin, firstChild_[dir] - begin);
}

std::size_t MftIndex::HeldBytes() const {
  return files_.capacity() * sizeof(MftFile) + firstChild_.capacity() * sizeof(std::uint32_t) +
         entries_.capacity() * sizeof(Entry) + names_.capacity() +
         systemHeads_.capacity() * sizeof(systemHeads_[0]);
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

MftIndexBuilder::MftIndexBuilder(const MftReadOptions& options, std::uint64_t serial,
                                 std::size_t mftRuns)
    : options_(options),
      index_(std::make_unique<MftIndex>()),
      pending_(std::make_unique<Pending>()) {
  index_->serial_ = serial;
  index_->mftRuns_ = mftRuns;
}

MftIndexBuilder::~MftIndexBuilder() = default;

void MftIndexBuilder::Add(std::uint32_t number, std::span<const std::byte> record,
                          const RecordHeader& header) {
  std::vector<MftFile>& files = index_->files_;
  if (files.size() <= number) files.resize(std::size_t{number} + 1);
  MftFile& file = files[number];
  file.sequence = header.sequence;
  file.flags = MftFile::kInUse;
  const bool extension = header.baseReference != 0;
  const std::uint32_t base = extension ? RecordOf(header.baseReference) : number;
  const std::uint16_t baseSequence = extension ? SequenceOf(header.baseReference) : header.sequence;
  if (!extension) {
    file.flags |= MftFile::kBase;
    if ((header.flags & kRecordIsDirectory) != 0) file.flags |= MftFile::kDirectory;
  }
  AttributeCursor cursor(record);
  Attribute a;
  bool standard = false;
  while (cursor.Next(a)) {
    if (a.type == AttributeType::kStandardInformation && !extension) {
      if (!a.resident || a.value.size() < 0x24) throw NtfsAnomaly("a short $STANDARD_INFORMATION");
      file.created = U64(a.value, 0x00);
      file.modified = U64(a.value, 0x08);
      file.attributes = U32(a.value, 0x20);
      if ((file.attributes & kNtfsReparsePoint) != 0) file.flags |= MftFile::kReparse;
      standard = true;
      continue;
    }
    AddAttribute(base, baseSequence, extension, a);
  }
  if (!extension && !standard) throw NtfsAnomaly("a base record without $STANDARD_INFORMATION");
}

void MftIndexBuilder::AddAttribute(std::uint32_t base, std::uint16_t baseSequence, bool extension,
                                   const Attribute& a) {
  MftIndex& index = *index_;
  switch (a.type) {
    case AttributeType::kFileName: {
      if (!a.resident || a.value.size() < 0x42) throw NtfsAnomaly("a short $FILE_NAME");
      const std::size_t units = U8(a.value, 0x40);
      if (U8(a.value, 0x41) == kNamespaceDos) return;
      const std::span<const std::byte> raw = SubSpan(a.value, 0x42, 2 * units);
      if (units == 0) throw NtfsAnomaly("an empty name");
      const std::size_t offset = index.names_.size();
      AppendName(raw, index.names_);
      if (index.names_.size() > 0xFFFFFFFF) throw NtfsAnomaly("names past what the index holds");
      const std::uint64_t parent = U64(a.value, 0x00);
      const Pending::Name n{RecordOf(parent), base, static_cast<std::uint32_t>(offset),
                            static_cast<std::uint16_t>(index.names_.size() - offset),
                            SequenceOf(parent)};
      if (extension) {
        // The base must still own the extension when every record is read.
        pending_->extensionNames.emplace_back(n, baseSequence);
      } else {
        pending_->names.push_back(n);
      }
      return;
    }
    case AttributeType::kReparsePoint:
      if (extension) {
        pending_->extensions.push_back({base, baseSequence, true, -1});
      } else {
        index.files_[base].flags |= MftFile::kReparse;
      }
      return;
    case AttributeType::kData:
      break;
    default:
      return;
  }
  // Named streams are the file's other streams: only the unnamed one is
  // its size. Only the part starting at cluster 0 gives the sizes.
  if (!a.name.empty() || (!a.resident && a.lowestVcn != 0)) return;
  const std::uint64_t size = a.resident ? a.value.size() : a.dataSize;
  if (base == kUpcaseRecord && !extension) {
    pending_->upcaseSize = size;
    if (a.resident) {
      pending_->upcaseResident.assign(a.value.begin(), a.value.end());
    } else {
      pending_->upcaseRuns = DecodeRuns(a.runs, 0, ~std::uint64_t{0} >> 2);
      pending_->upcaseInitialized = a.initializedSize;
    }
  }
  if (extension) {
    pending_->extensions.push_back({base, baseSequence, false, static_cast<std::int64_t>(size)});
  } else {
    index.files_[base].size = static_cast<std::int64_t>(size);
  }
  const bool system = extension || (index.files_[base].attributes & kNtfsSystem) != 0;
  if (!options_.systemHeads || !system || size < 8) return;
  Pending::Head head{base,
                     baseSequence,
                     !a.resident && (a.flags & kAttributeCompressed) != 0,
                     -1,
                     a.resident ? size : a.initializedSize,
                     0};
  if (a.resident) {
    head.bytes = U64(a.value, 0);
  } else {
    const std::vector<Run> runs = DecodeRuns(a.runs, 0, ~std::uint64_t{0} >> 2);
    if (!runs.empty()) head.lcn = runs.front().lcn;
  }
  pending_->heads.push_back(head);
}

std::unique_ptr<MftIndex> MftIndexBuilder::Finish(ClusterReader& clusters) {
  std::vector<MftFile>& files = index_->files_;
  const auto owns = [&files](std::uint32_t base, std::uint16_t sequence) {
    return base < files.size() && (files[base].flags & MftFile::kBase) != 0 &&
           files[base].sequence == sequence;
  };
  for (const Pending::Extension& e : pending_->extensions) {
    // An extension whose base is gone or reused belongs to nothing.
    if (!owns(e.base, e.sequence)) continue;
    if (e.reparse) files[e.base].flags |= MftFile::kReparse;
    if (e.size >= 0) files[e.base].size = e.size;
  }
  for (const auto& [name, sequence] : pending_->extensionNames) {
    if (owns(name.record, sequence)) pending_->names.push_back(name);
  }
  pending_->extensionNames.clear();
  if (files.size() <= MftIndex::kRoot || !files[MftIndex::kRoot].Directory()) {
    throw NtfsAnomaly("no root directory");
  }
  Group();
  if (options_.order == MftOrder::kCollation) ReadUpcase(clusters);
  if (options_.systemHeads) ReadSystemHeads(clusters);
  Order();
  pending_.reset();
  return std::move(index_);
}

void MftIndexBuilder::Group() {
  std::vector<MftFile>& files = index_->files_;
  std::vector<std::uint32_t>& first = index_->firstChild_;
  first.assign(files.size(), 0);
  std::vector<Pending::Name>& names = pending_->names;
  // Keeps only the names that stand in a directory that is there.
  const auto kept = [&files](const Pending::Name& n) {
    return n.record != n.parent && n.parent < files.size() && n.record < files.size() &&
           (files[n.record].flags & (MftFile::kInUse | MftFile::kBase)) ==
               (MftFile::kInUse | MftFile::kBase) &&
           (files[n.parent].flags & (MftFile::kInUse | MftFile::kBase | MftFile::kDirectory)) ==
               (MftFile::kInUse | MftFile::kBase | MftFile::kDirectory) &&
           files[n.parent].sequence == n.parentSequence;
  };
  names.erase(std::remove_if(names.begin(), names.end(), [&](const auto& n) { return !kept(n); }),
              names.end());
  if (names.size() > 0xFFFFFFFF) throw NtfsAnomaly("names past what the index holds");
  for (const Pending::Name& n : names) {
    // A directory has one name: a second would let a walk go round.
    if (files[n.record].Directory()) {
      if ((files[n.record].flags & kNamed) != 0) throw NtfsAnomaly("a directory with two names");
      files[n.record].flags |= kNamed;
    }
    ++first[n.parent];
  }
  for (MftFile& f : files) f.flags &= static_cast<std::uint8_t>(~kNamed);
  // Each directory's names end at first[dir]; they are placed from the end.
  std::uint32_t total = 0;
  for (std::uint32_t& f : first) {
    total += f;
    f = total;
  }
  std::vector<MftIndex::Entry>& entries = index_->entries_;
  entries.resize(names.size());
  std::vector<std::uint32_t> next(first);
  for (auto n = names.rbegin(); n != names.rend(); ++n) {
    entries[--next[n->parent]] = {n->record, n->nameOffset, n->nameLength};
  }
  names.clear();
  names.shrink_to_fit();
}

void MftIndexBuilder::ReadUpcase(ClusterReader& clusters) {
  Pending& p = *pending_;
  if (p.upcaseSize != 2 * kUpcaseUnits) throw NtfsAnomaly("no $UpCase of 65536 units");
  std::vector<std::byte> bytes = std::move(p.upcaseResident);
  if (bytes.empty()) {
    bytes.resize(p.upcaseSize);
    clusters.ReadStream(p.upcaseRuns, 0, p.upcaseInitialized, bytes);
  }
  p.upcase.resize(kUpcaseUnits);
  for (std::size_t i = 0; i < kUpcaseUnits; ++i) p.upcase[i] = U16(bytes, 2 * i);
}

void MftIndexBuilder::ReadSystemHeads(ClusterReader& clusters) {
  std::vector<Pending::Head>& heads = pending_->heads;
  const std::vector<MftFile>& files = index_->files_;
  // Read in the order of the disk.
  std::sort(heads.begin(), heads.end(), [](const auto& a, const auto& b) { return a.lcn < b.lcn; });
  std::vector<std::byte> cluster(clusters.Boot().clusterSize);
  for (Pending::Head& h : heads) {
    // An extension's base may lie past every record read.
    if (h.record >= files.size()) continue;
    const MftFile& f = files[h.record];
    if (!f.InUse() || f.sequence != h.sequence || (f.attributes & kNtfsSystem) == 0 || f.size < 8) {
      continue;
    }
    if (h.compressed) throw NtfsAnomaly("a compressed system file");  // its head is packed
    if (h.lcn >= 0) {
      clusters.Read(static_cast<std::uint64_t>(h.lcn), 1, cluster);
      h.bytes = U64(cluster, 0);
    }
    if (h.initialized < 8) h.bytes &= (std::uint64_t{1} << (8 * h.initialized)) - 1;
    index_->systemHeads_.emplace_back(h.record, h.bytes);
  }
  std::sort(index_->systemHeads_.begin(), index_->systemHeads_.end());
}

void MftIndexBuilder::Order() {
  MftIndex& index = *index_;
  const UpcaseTable& upcase = pending_->upcase;
  const bool bytes = options_.order == MftOrder::kBytes;
  std::uint32_t begin = 0;
  for (const std::uint32_t end : index.firstChild_) {
    const auto from = index.entries_.begin() + begin;
    const auto to = index.entries_.begin() + end;
    begin = end;
    if (to - from < 2) continue;
    if (bytes) {
      std::sort(from, to,
                [&index](const auto& a, const auto& b) { return index.Name(a) < index.Name(b); });
    } else {
      std::sort(from, to, [&](const auto& a, const auto& b) {
        return CollateNames(index.Name(a), index.Name(b), upcase) < 0;
      });
    }
    // Equal names sort side by side in either order.
    if (std::adjacent_find(from, to, [&index](const auto& a, const auto& b) {
          return index.Name(a) == index.Name(b);
        }) != to) {
      throw NtfsAnomaly("a name twice in one directory");
    }
  }
}

}  // namespace tidwen

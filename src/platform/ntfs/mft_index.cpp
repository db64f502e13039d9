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

}  // namespace

struct MftIndexBuilder::Pending {
  // Names in extension records, with the sequence number their base must
  // still have.
  // A $FILE_NAME, to be checked against its directory once every record
  // is read.
  struct Name {
    MftIndex::Entry entry;
    std::uint32_t parent;
  };
  std::vector<Name> names;
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
  if (std::size_t{dir} + 1 >= firstChild_.size()) return {};
  return std::span<const Entry>(entries_).subspan(firstChild_[dir],
                                                  firstChild_[dir + 1] - firstChild_[dir]);
}

std::optional<std::uint32_t> MftIndex::DirectoryAt(std::string_view relative,
                                                   char separator) const {
  std::uint32_t dir = kRoot;
  while (!relative.empty()) {
    const std::size_t cut = relative.find(separator);
    const std::string_view name = relative.substr(0, cut);
    relative = cut == std::string_view::npos ? std::string_view() : relative.substr(cut + 1);
    const std::span<const Entry> children = Children(dir);
    const auto child = std::find_if(children.begin(), children.end(), [&](const Entry& e) {
      const MftFile& f = files_[e.record];
      return e.record >= kFirstUserRecord && f.Directory() && !f.Reparse() && Name(e) == name;
    });
    if (child == children.end()) return std::nullopt;
    dir = child->record;
  }
  return dir;
}

std::size_t MftIndex::HeldBytes() const {
  return files_.capacity() * sizeof(MftFile) + created_.capacity() * sizeof(std::uint64_t) +
         firstChild_.capacity() * sizeof(std::uint32_t) + entries_.capacity() * sizeof(Entry) +
         names_.capacity() + systemHeads_.capacity() * sizeof(systemHeads_[0]);
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

void MftIndexBuilder::Reserve(std::size_t records) {
  index_->files_.reserve(records);
  if (options_.creationTimes) index_->created_.reserve(records);
  // About a name a record, of some twenty bytes; pages reserved and never
  // written take no memory.
  pending_->names.reserve(records);
  index_->names_.reserve(records * 24);
}

void MftIndexBuilder::Add(std::uint32_t number, std::span<const std::byte> record,
                          const RecordHeader& header) {
  std::vector<MftFile>& files = index_->files_;
  if (files.size() <= number) files.resize(std::size_t{number} + 1);
  if (options_.creationTimes && index_->created_.size() <= number) {
    index_->created_.resize(std::size_t{number} + 1);
  }
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
      if (options_.creationTimes) index_->created_[number] = U64(a.value, 0x00);
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
      const bool backslash = AppendFileName(raw, index.names_);
      if (index.names_.size() > 0xFFFFFFFF) throw NtfsAnomaly("names past what the index holds");
      const std::uint64_t parent = U64(a.value, 0x00);
      const auto length = static_cast<std::uint16_t>(index.names_.size() - offset);
      // A name's length in bytes (WTF-8 of at most 255 units) and whether
      // it holds "\\"; checked against its directory once all is read.
      const Pending::Name n{{base, static_cast<std::uint32_t>(offset),
                             static_cast<std::uint16_t>(
                                 length | (backslash ? MftIndex::kHoldsBackslash : 0)),
                             SequenceOf(parent)},
                            RecordOf(parent)};
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
    if (owns(name.entry.record, sequence)) {
      pending_->names.push_back(name);
      ++index_->extensionNames_;
    }
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
  std::vector<Pending::Name>& names = pending_->names;
  // Keeps only the names that stand in a directory that is there.
  const auto kept = [&files](const Pending::Name& n) {
    const std::uint32_t record = n.entry.record;
    return record != n.parent && n.parent < files.size() && record < files.size() &&
           (files[record].flags & (MftFile::kInUse | MftFile::kBase)) ==
               (MftFile::kInUse | MftFile::kBase) &&
           (files[n.parent].flags & (MftFile::kInUse | MftFile::kBase | MftFile::kDirectory)) ==
               (MftFile::kInUse | MftFile::kBase | MftFile::kDirectory) &&
           files[n.parent].sequence == n.entry.parentSequence;
  };
  names.erase(std::remove_if(names.begin(), names.end(), [&](const auto& n) { return !kept(n); }),
              names.end());
  if (names.size() > 0xFFFFFFFF) throw NtfsAnomaly("names past what the index holds");
  first.assign(files.size() + 1, 0);
  for (const Pending::Name& n : names) {
    // A directory has one name: a second would let a walk go round.
    if (files[n.entry.record].Directory()) {
      if ((files[n.entry.record].flags & kNamed) != 0) {
        throw NtfsAnomaly("a directory with two names");
      }
      files[n.entry.record].flags |= kNamed;
    }
    ++first[n.parent];
  }
  for (MftFile& f : files) f.flags &= static_cast<std::uint8_t>(~kNamed);
  // Each directory's names end at first[dir] at first; placed from the
  // end, they leave first[dir] where they begin, and first[dir + 1] where
  // they end.
  std::uint32_t total = 0;
  for (std::uint32_t& f : first) {
    total += f;
    f = total;
  }
  std::vector<MftIndex::Entry>& entries = index_->entries_;
  entries.resize(names.size());
  for (std::size_t i = names.size(); i-- > 0;) entries[--first[names[i].parent]] = names[i].entry;
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
  // In byte order, a name's first eight bytes as one number order most
  // names without a look at the rest.
  struct Keyed {
    std::uint64_t head;
    MftIndex::Entry entry;
  };
  std::vector<Keyed> keyed;
  const auto byBytes = [&index](const Keyed& a, const Keyed& b) {
    return a.head != b.head ? a.head < b.head : index.Name(a.entry) < index.Name(b.entry);
  };
  std::uint32_t begin = 0;
  for (const std::uint32_t end : index.firstChild_) {
    const auto from = index.entries_.begin() + begin;
    const auto to = index.entries_.begin() + end;
    begin = end;
    if (to - from < 2) continue;
    if (bytes) {
      keyed.clear();
      for (auto e = from; e != to; ++e) {
        const std::string_view name = index.Name(*e);
        std::uint64_t head = 0;
        for (std::size_t i = 0; i < 8; ++i) {
          head = (head << 8) | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0U);
        }
        keyed.push_back({head, *e});
      }
      std::sort(keyed.begin(), keyed.end(), byBytes);
      std::transform(keyed.begin(), keyed.end(), from, [](const Keyed& k) { return k.entry; });
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

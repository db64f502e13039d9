#include "support/mft_checks.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

#include "platform/ntfs/mft_reader.h"
#include "platform/wtf8.h"
#include "support/ntfs_builder.h"

namespace tidwen::test {

namespace {

using Record = NtfsBuilder::Record;

// A volume of a few directories, hard links, names of every namespace, a
// system file, a sparse file, a name in an extension record and a record
// whose header gives another number.
NtfsBuilder SoundVolume() {
  NtfsBuilder nb(512, 4096);
  const std::uint32_t a = nb.Add(Record().Dir().Named(5, u"A"));
  const std::uint32_t b = nb.Add(Record().Dir().Sequence(3).Named(a, u"b"));
  nb.Add(Record().Named(a, u"x.tmp").Named(b, u"X.TMP", 0).Data("abc"));
  nb.Add(Record().Named(b, u"Long name.bak", 1).Named(b, u"LONGNA~1.BAK", 2));
  nb.Add(Record().Attributes(0x24).Named(a, u"intx").Data("IntxLNK\1link"));
  nb.Add(Record().Attributes(0x220).Named(5, u"hole\u00e9").Sparse(70000));
  nb.Add(Record().Named(b, u"streams").Data("1").Stream("side"));
  const std::uint32_t base = nb.Add(Record().Data("base"));
  nb.Add(Record().Extends(base | (std::uint64_t{1} << 48)).Named(5, u"ext\U0001F600"));
  nb.Add(Record().Named(a, u"moved").ClaimsNumber(3));
  return nb;
}

struct Volume {
  std::vector<std::byte> image;
  std::size_t mftAt;
  std::size_t mftBytes;
};

const Volume& Base() {
  static const Volume volume = [] {
    const NtfsBuilder nb = SoundVolume();
    Volume v{nb.Build(), nb.RecordOffset(0), 24 * std::size_t{nb.RecordSize()}};
    return v;
  }();
  return volume;
}

bool Contains(std::span<const std::byte> haystack, std::string_view wtf8) {
  std::u16string units;
  if (!AppendFromWtf8(wtf8, units)) return false;
  std::string needle;
  for (const char16_t u : units) {
    needle.push_back(static_cast<char>(u & 0xFF));
    needle.push_back(static_cast<char>(u >> 8));
  }
  return ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

// Everything an index lists, as text, or the first invariant it breaks.
// Names are looked for in bytes unless it is empty.
std::string Walk(const MftIndex& index, MftOrder order, std::span<const std::byte> bytes,
                 std::string& failure) {
  std::string dump;
  std::vector<bool> seen(index.Records());
  std::deque<std::uint32_t> queue{MftIndex::kRoot};
  seen[MftIndex::kRoot] = true;
  while (!queue.empty() && failure.empty()) {
    const std::uint32_t dir = queue.front();
    queue.pop_front();
    std::string_view last;
    bool first = true;
    for (const MftIndex::Entry& e : index.Children(dir)) {
      const std::string_view name = index.Name(e);
      std::u16string units;
      if (e.record >= index.Records() || !index.File(e.record).InUse()) {
        failure = "a name of a record not in use";
      } else if (name.empty() || name.find_first_of(std::string_view("/\0", 2)) != name.npos ||
                 !AppendFromWtf8(name, units)) {
        failure = "a name that is empty, not WTF-8, or holds \"/\" or NUL";
      } else if (!first && (order == MftOrder::kBytes ? !(last < name) : last == name)) {
        failure = "names out of order or twice in a directory";
      } else if (!bytes.empty() && !Contains(bytes, name)) {
        failure = "a name that the volume does not hold";
      } else if (index.File(e.record).size < 0) {
        failure = "a negative size";
      }
      if (!failure.empty()) return dump;
      first = false;
      last = name;
      const MftFile& f = index.File(e.record);
      dump += std::to_string(dir) + "/" + std::string(name) + "#" + std::to_string(e.record) + " " +
              std::to_string(f.size) + "\n";
      if (f.Directory() && e.record >= MftIndex::kFirstUserRecord) {
        if (seen[e.record]) {
          failure = "a directory reached twice";
          return dump;
        }
        seen[e.record] = true;
        queue.push_back(e.record);
      }
    }
  }
  return dump;
}

}  // namespace

std::vector<std::byte> SoundMftBytes() {
  const Volume& base = Base();
  const auto from = base.image.begin() + static_cast<std::ptrdiff_t>(base.mftAt);
  return std::vector<std::byte>(from, from + static_cast<std::ptrdiff_t>(base.mftBytes));
}

namespace {

std::vector<std::byte> Overlaid(std::span<const std::byte> input) {
  std::vector<std::byte> image = Base().image;
  std::memcpy(image.data() + Base().mftAt, input.data(), std::min(input.size(), Base().mftBytes));
  return image;
}

}  // namespace

bool MftImageGivesIndex(std::span<const std::byte> input) {
  const std::vector<std::byte> image = Overlaid(input);
  MemoryVolume volume(image);
  return ReadMftIndex(volume, {MftOrder::kCollation, true}).index != nullptr;
}

std::string CheckMftImage(std::span<const std::byte> input) {
  const std::vector<std::byte> image = Overlaid(input);
  for (const MftReadOptions options :
       {MftReadOptions{MftOrder::kBytes, true}, MftReadOptions{MftOrder::kCollation, false}}) {
    std::string dumps[2];
    for (int i = 0; i < 2; ++i) {
      std::string& dump = dumps[i];
      MemoryVolume volume(image);
      const MftRead read = ReadMftIndex(volume, options);
      if (!read.index) {
        dump = "none: " + read.failure;
        continue;
      }
      std::string failure;
      // The second read need only give the same.
      dump =
          Walk(*read.index, options.order,
               i == 0 ? std::span<const std::byte>(image) : std::span<const std::byte>(), failure);
      if (!failure.empty()) return failure;
    }
    if (dumps[0] != dumps[1]) return "two reads of one volume differ";
  }
  return "";
}

}  // namespace tidwen::test

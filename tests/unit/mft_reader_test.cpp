// The Master File Table reader on volumes made byte by byte: what each
// directory lists, and every anomaly that makes it give up, which a real
// image cannot be made to hold.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/ntfs/mft_reader.h"
#include "platform/ntfs/ntfs_collation.h"
#include "support/ntfs_builder.h"

namespace tidwen {
namespace {

using test::NtfsBuilder;
using Record = NtfsBuilder::Record;

MftRead Read(const std::vector<std::byte>& image, MftReadOptions options = {}) {
  MemoryVolume volume(image);
  return ReadMftIndex(volume, options);
}

std::vector<std::string> NamesIn(const MftIndex& index, std::uint32_t dir) {
  std::vector<std::string> names;
  for (const MftIndex::Entry& e : index.Children(dir)) {
    if (e.record >= MftIndex::kFirstUserRecord) names.emplace_back(index.Name(e));
  }
  return names;
}

std::uint32_t RecordOf(const MftIndex& index, std::uint32_t dir, std::string_view name) {
  for (const MftIndex::Entry& e : index.Children(dir)) {
    if (index.Name(e) == name) return e.record;
  }
  return 0;
}

// Two directories and the files the reader must list, and must not.
struct Tree {
  NtfsBuilder builder;
  std::uint32_t a = 0, b = 0, linked = 0, moved = 0, reparse = 0, extended = 0;
};

Tree MakeTree(std::uint32_t sector, std::uint32_t cluster) {
  Tree t{NtfsBuilder(sector, cluster)};
  NtfsBuilder& nb = t.builder;
  t.a = nb.Add(Record().Dir().Named(5, u"A"));
  t.b = nb.Add(Record().Dir().Sequence(7).Named(5, u"B"));
  nb.Add(Record().Named(t.a, u"x.tmp").Data("abc"));
  t.linked = nb.Add(Record().Named(t.a, u"h1.bak").Named(t.b, u"h2.bak").Data("12"));
  // A Win32 name listed once, its DOS name not at all; a name for both.
  nb.Add(Record().Named(t.a, u"Long Name.txt", 1).Named(t.a, u"LONGNA~1.TXT", 2));
  nb.Add(Record().Named(t.a, u"SHORT.TXT", 3));
  nb.Add(Record().Named(t.a, u"streams.tmp").Data("12345").Stream(std::string(300, 's')));
  nb.Add(Record().Attributes(0x220).Named(t.a, u"sparse.tmp").Sparse(1 << 20));
  t.reparse = nb.Add(Record().Attributes(0x420).Named(t.a, u"link.tmp").Reparse());
  // Its header claims another number than its place.
  t.moved = nb.Add(Record().Named(t.b, u"moved.tmp").ClaimsNumber(999));
  // Not there: a freed record, a name whose parent was reused since.
  nb.Add(Record().Freed().Named(t.a, u"freed.tmp"));
  nb.Add(Record().Named(t.b, u"orphan.tmp", 1, 3));
  // A name in an extension record of its base, and one in an extension
  // whose base has been reused.
  t.extended = nb.Add(Record().Data("base"));
  nb.Add(Record().Extends(t.extended | (std::uint64_t{1} << 48)).Named(t.b, u"ext.tmp"));
  nb.Add(Record().Extends(t.extended | (std::uint64_t{2} << 48)).Named(t.b, u"stale.tmp"));
  return t;
}

struct Geometry {
  std::uint32_t sector, cluster;
  bool split;
};

class MftReaderGeometry : public ::testing::TestWithParam<Geometry> {};

TEST_P(MftReaderGeometry, ListsEachDirectoryByItsRecords) {
  Tree t = MakeTree(GetParam().sector, GetParam().cluster);
  if (GetParam().split) t.builder.SplitMft();
  const MftRead read = Read(t.builder.Build());
  ASSERT_TRUE(read.index) << read.failure;
  const MftIndex& index = *read.index;
  EXPECT_EQ(index.MftRuns(), GetParam().split ? 2u : 1u);
  EXPECT_EQ(NamesIn(index, MftIndex::kRoot), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(NamesIn(index, t.a),
            (std::vector<std::string>{"Long Name.txt", "SHORT.TXT", "h1.bak", "link.tmp",
                                      "sparse.tmp", "streams.tmp", "x.tmp"}));
  EXPECT_EQ(NamesIn(index, t.b), (std::vector<std::string>{"ext.tmp", "h2.bak", "moved.tmp"}));
  // A hard link is one record under each name; the record is where it lies.
  EXPECT_EQ(RecordOf(index, t.a, "h1.bak"), t.linked);
  EXPECT_EQ(RecordOf(index, t.b, "h2.bak"), t.linked);
  EXPECT_EQ(RecordOf(index, t.b, "moved.tmp"), t.moved);
  EXPECT_EQ(RecordOf(index, t.b, "ext.tmp"), t.extended);
  EXPECT_EQ(index.File(t.extended).size, 4);
  // Sizes of the unnamed stream only, logical for a sparse one.
  EXPECT_EQ(index.File(RecordOf(index, t.a, "streams.tmp")).size, 5);
  EXPECT_EQ(index.File(RecordOf(index, t.a, "sparse.tmp")).size, 1 << 20);
  EXPECT_TRUE(index.File(t.reparse).Reparse());
  EXPECT_TRUE(index.File(t.b).Directory());
  EXPECT_EQ(index.Reference(t.b), t.b | (std::uint64_t{7} << 48));
}

INSTANTIATE_TEST_SUITE_P(Volumes, MftReaderGeometry,
                         ::testing::Values(Geometry{512, 4096, false}, Geometry{512, 4096, true},
                                           Geometry{4096, 4096, false}, Geometry{512, 512, true},
                                           Geometry{512, 65536, false},
                                           Geometry{4096, 65536, false}),
                         [](const auto& info) {
                           return "Sector" + std::to_string(info.param.sector) + "Cluster" +
                                  std::to_string(info.param.cluster) +
                                  (info.param.split ? "SplitMft" : "");
                         });

TEST(MftReader, OrdersNamesByBytesOrByNtfsCollation) {
  NtfsBuilder nb(512, 4096);
  const std::uint32_t dir = nb.Add(Record().Dir().Named(5, u"d"));
  for (const std::u16string name :
       {u"b", u"B", u"a", u"\u00e9", u"E", u"Z", u"_", u"\U0001F600", u"\uFF21", u"ab", u"A1"}) {
    nb.Add(Record().Named(dir, name, 0));
  }
  const std::vector<std::byte> image = nb.Build();
  const MftRead bytes = Read(image);
  const MftRead collated = Read(image, {MftOrder::kCollation, false});
  ASSERT_TRUE(bytes.index && collated.index) << bytes.failure << collated.failure;
  EXPECT_EQ(NamesIn(*bytes.index, dir),
            (std::vector<std::string>{"A1", "B", "E", "Z", "_", "a", "ab", "b", "\u00e9", "\uFF21",
                                      "\U0001F600"}));
  // By units in upper case, a name before the longer names it begins: "_"
  // after the letters, a pair's units (D83D) before U+FF21, and names
  // equal in upper case by their units as written.
  EXPECT_EQ(NamesIn(*collated.index, dir),
            (std::vector<std::string>{"a", "A1", "ab", "B", "b", "E", "Z", "_", "\u00e9",
                                      "\U0001F600", "\uFF21"}));
}

struct Anomaly {
  const char* name;
  std::function<void(NtfsBuilder&)> build;
  std::function<void(std::vector<std::byte>&, const NtfsBuilder&)> damage;
  const char* failure;
};

void Flip(std::vector<std::byte>& image, std::size_t at) { image[at] ^= std::byte{0x5A}; }

TEST(MftReader, GivesUpOnEveryAnomaly) {
  const auto user = [](const NtfsBuilder& nb) { return nb.RecordOffset(18); };
  const std::vector<Anomaly> anomalies = {
      {"torn record", nullptr, [&](auto& im, const auto& nb) { Flip(im, user(nb) + 1022); },
       "a fixup that does not match"},
      {"torn record 0", nullptr,
       [&](auto& im, const auto& nb) { Flip(im, nb.RecordOffset(0) + 510); },
       "a fixup that does not match"},
      {"update sequence array too long", nullptr,
       [&](auto& im, const auto& nb) { im[user(nb) + 6] = std::byte{9}; },
       "an update sequence array out of its record"},
      {"bad record", nullptr,
       [&](auto& im, const auto& nb) { std::memcpy(&im[user(nb)], "BAAD", 4); },
       "a record that is no file record"},
      {"attribute past its record", nullptr,
       [&](auto& im, const auto& nb) { im[user(nb) + 0x38 + 5] = std::byte{0x40}; },
       "an attribute out of its record"},
      {"MFT runlist out of the volume", nullptr,
       [&](auto& im, const auto& nb) {
         // Record 0's $DATA: its one run's cluster moved past the volume.
         const std::size_t r0 = nb.RecordOffset(0);
         for (std::size_t at = r0 + 0x38; at < r0 + 1000; at += 8) {
           if (im[at] == std::byte{0x80} && im[at + 8] == std::byte{1}) {
             im[at + std::to_integer<std::size_t>(im[at + 0x20]) + 2] = std::byte{0x7F};
             return;
           }
         }
       },
       "a run outside the volume"},
      {"MFT's extension record freed", [](NtfsBuilder& nb) { nb.SplitMft(); },
       [&](auto& im, const auto& nb) { std::memset(&im[nb.RecordOffset(15)], 0, nb.RecordSize()); },
       "an MFT record not in use"},
      {"directory of two names",
       [](NtfsBuilder& nb) { nb.Add(Record().Dir().Named(5, u"one").Named(5, u"two")); }, nullptr,
       "a directory with two names"},
      {"name holding a slash", [](NtfsBuilder& nb) { nb.Add(Record().Named(5, u"a/b")); }, nullptr,
       "a name holding \"/\" or NUL"},
      {"name twice in a directory",
       [](NtfsBuilder& nb) {
         nb.Add(Record().Named(5, u"twin"));
         nb.Add(Record().Named(5, u"twin"));
       },
       nullptr, "a name twice in one directory"},
      {"cluster size out of range", nullptr, [](auto& im, const auto&) { im[0x0D] = std::byte{3}; },
       "a cluster size out of range"},
      {"image cut short", nullptr, [](auto& im, const auto&) { im.resize(70000); }, "clusters"},
  };
  for (const Anomaly& a : anomalies) {
    NtfsBuilder nb(512, 4096);
    nb.Add(Record().Dir().Named(5, u"dir"));
    nb.Add(Record().Named(16, u"f.tmp").Data("x"));
    nb.Add(Record().Named(16, u"g.tmp").Data("y"));
    if (a.build) a.build(nb);
    std::vector<std::byte> image = nb.Build();
    if (a.damage) {
      ASSERT_TRUE(Read(image).index) << a.name << ": sound before the damage";
      a.damage(image, nb);
    }
    const MftRead read = Read(image);
    EXPECT_FALSE(read.index) << a.name;
    EXPECT_TRUE(read.ntfs) << a.name;
    EXPECT_NE(read.failure.find(a.failure), std::string::npos) << a.name << ": " << read.failure;
  }
}

TEST(MftReader, TellsAnotherFileSystemAndAMissingUpcaseApart) {
  NtfsBuilder nb(512, 4096);
  std::vector<std::byte> image = nb.Build();
  image[3] = std::byte{'M'};
  EXPECT_FALSE(Read(image).ntfs);
  nb.WithoutUpcase();
  const MftRead read = Read(nb.Build(), {MftOrder::kCollation, false});
  EXPECT_TRUE(read.ntfs);
  EXPECT_EQ(read.failure, "no $UpCase of 65536 units");
  EXPECT_TRUE(Read(nb.Build()).index) << "byte order needs no $UpCase";
}

TEST(NtfsRuns, DecodeClustersAndHolesAndRefuseWhatLeavesTheVolume) {
  const auto runs = [](std::vector<std::uint8_t> bytes, std::uint64_t clusters) {
    std::vector<std::byte> b;
    for (const std::uint8_t v : bytes) b.push_back(std::byte{v});
    std::string out;
    try {
      for (const tidwen::Run& r : DecodeRuns(b, 10, clusters)) {
        out += std::to_string(r.vcn) + ":" + std::to_string(r.lcn) + "+" +
               std::to_string(r.length) + " ";
      }
    } catch (const NtfsAnomaly& e) {
      out = e.what();
    }
    return out;
  };
  // Two runs, the second one back before the first (a negative offset),
  // and a hole between them.
  EXPECT_EQ(runs({0x21, 0x04, 0x00, 0x10, 0x01, 0x03, 0x11, 0x02, 0xF8, 0x00}, 10000),
            "10:4096+4 14:-1+3 17:4088+2 ");
  EXPECT_EQ(runs({0x21, 0x04, 0x00, 0x10, 0x00}, 4000), "a run outside the volume");
  EXPECT_EQ(runs({0x11, 0x02, 0xFE, 0x00}, 100), "a run outside the volume");  // before 0
  EXPECT_EQ(runs({0x01, 0x00, 0x00}, 100), "a run of no or too many clusters");
  EXPECT_EQ(runs({0x09, 0x01}, 100), "a run whose fields are out of range");
  EXPECT_EQ(runs({0x11, 0x02}, 100), "a part beyond its structure");  // cut short
}

TEST(NtfsCollation, ComparesUpperCaseUnitsThenUnitsAsWritten) {
  UpcaseTable upcase(kUpcaseUnits);
  for (std::size_t u = 0; u < upcase.size(); ++u) {
    upcase[u] = static_cast<std::uint16_t>(u >= 'a' && u <= 'z' ? u - 32 : u);
  }
  const struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {{"a", "B", -1},
               {"B", "a", 1},
               {"abc", "ABC", 1},
               {"ABC", "abc", -1},
               {"ab", "ABC", -1},
               {"abc", "abc", 0},
               {"Ab", "aB", -1},
               {"_", "a", 1},
               {"\xED\xA0\x80", "\xEF\xBC\xA1", -1},  // a lone lead surrogate before U+FF21
               {"\xF0\x9F\x98\x80", "\xEF\xBC\xA1", -1},
               {"", "a", -1}};
  for (const auto& c : cases) {
    const int got = CollateNames(c.a, c.b, upcase);
    EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
  }
}

}  // namespace
}  // namespace tidwen

// Small NTFS volumes made in memory, record by record, for the tests of the
// Master File Table reader and the seeds of its fuzzer: the cases a real
// image cannot be made to hold (a torn record, a runlist out of the volume,
// a record whose header gives another number than its place) and the ones
// it holds only by chance (the MFT's own runlist continued in an extension
// record). Only what the reader reads is written: the boot sector, the MFT,
// $UpCase and the clusters of non-resident data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tidwen::test {

class NtfsBuilder {
 public:
  struct Name {
    std::uint32_t parent;
    std::u16string name;
    std::uint8_t space = 1;  // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
    // The sequence number the name expects of its parent; 0 for the
    // parent's own.
    std::uint16_t parentSequence = 0;
  };
  struct Record {
    bool inUse = true;
    bool directory = false;
    std::uint16_t sequence = 1;
    std::uint64_t base = 0;  // the base record's reference, for an extension
    std::uint32_t attributes = 0x20;
    std::vector<Name> names;
    std::string data;                  // the unnamed $DATA, resident
    std::int64_t sparseSize = -1;      // else non-resident: this many bytes, all a hole
    std::vector<std::string> streams;  // named $DATA streams
    bool reparse = false;
    std::optional<std::uint32_t> headerNumber;  // the number its header claims

    // The same, set one by one: Record().Dir().Name(5, u"a").
    Record& Dir() { return directory = true, *this; }
    Record& Freed() { return inUse = false, *this; }
    Record& Sequence(std::uint16_t s) { return sequence = s, *this; }
    Record& Extends(std::uint64_t baseReference) { return base = baseReference, *this; }
    Record& Attributes(std::uint32_t a) { return attributes = a, *this; }
    Record& Named(std::uint32_t parent, std::u16string name, std::uint8_t space = 1,
                  std::uint16_t parentSequence = 0) {
      names.push_back({parent, std::move(name), space, parentSequence});
      return *this;
    }
    Record& Data(std::string d) { return data = std::move(d), *this; }
    Record& Sparse(std::int64_t size) { return sparseSize = size, *this; }
    Record& Stream(std::string s) { return streams.push_back(std::move(s)), *this; }
    Record& Reparse() { return reparse = true, *this; }
    Record& ClaimsNumber(std::uint32_t n) { return headerNumber = n, *this; }
  };

  // Records of max(1024, sector) bytes; clusters of clusterSize.
  NtfsBuilder(std::uint32_t sectorSize, std::uint32_t clusterSize);

  // Adds a record at the next free number from 16 on; returns its number.
  std::uint32_t Add(Record record);
  Record& At(std::uint32_t number) { return records_.at(number); }
  // Continues the MFT's $DATA in a second run, far from the first, that an
  // attribute list in record 0 puts in extension record 15.
  void SplitMft() { split_ = true; }
  // Leaves $UpCase out.
  void WithoutUpcase() { upcase_ = false; }

  std::vector<std::byte> Build() const;
  // Where record number lies in a built image.
  std::size_t RecordOffset(std::uint32_t number) const;
  std::uint32_t RecordSize() const { return recordSize_; }
  std::uint32_t ClusterSize() const { return clusterSize_; }
  // The cluster where the second run of a split MFT starts.
  std::uint64_t SecondRunCluster() const;

 private:
  std::string Serialize(std::uint32_t number, const Record& r) const;
  std::uint64_t MftClusters() const;
  std::uint64_t UpcaseCluster() const;

  std::uint32_t sectorSize_;
  std::uint32_t clusterSize_;
  std::uint32_t recordSize_;
  std::vector<Record> records_;
  bool split_ = false;
  bool upcase_ = true;
};

}  // namespace tidwen::test

// A checkable list of byte texts, compact enough for millions of entries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/file_stamp.h"
#include "model/path_arena.h"

namespace tidwen {

// Entries and their texts are kept in blocks of bounded size rather than in
// one growing array each, so a long list never holds much more than it
// uses, and growing it never copies the whole list: an entry costs 40 bytes
// beyond its text, plus a share of one partly filled block. Appending and
// removing the last entry are O(1); inserting or removing entry i moves the
// entries after it. Text freed by removals is reclaimed once it outweighs the
// live text. An entry may name a file of an arena's directory (AppendPath):
// it then keeps the file's name and shares the arena, and its text is built
// when asked for. An emptied list holds no memory.
//
// Not safe for use from two threads at once, reading included: Text()
// builds a path entry's text in a buffer of the list's own.
class CheckList {
 public:
  CheckList() = default;
  CheckList(const CheckList&) = delete;
  CheckList& operator=(const CheckList&) = delete;

  // text may be a view of one of this list's own texts.
  void Append(std::string_view text, const FileStamp& stamp = {});
  // Appends the entry whose text is path's; path.name may be a view of one
  // of this list's own texts.
  void AppendPath(const ArenaPath& path, const FileStamp& stamp = {});
  // Appends a copy of entry i of another list, unselected: a path entry stays
  // one, sharing its arena, so that a copy of a long list stays compact.
  void AppendEntry(const CheckList& from, std::int64_t i);
  void Insert(std::int64_t index, std::string_view text);
  void Remove(std::int64_t index);
  void Clear();

  std::int64_t Count() const { return static_cast<std::int64_t>(count_); }
  // Valid until the list next changes or the next call of Text().
  std::string_view Text(std::int64_t i) const;
  FileStamp Stamp(std::int64_t i) const;
  bool Selected(std::int64_t i) const { return At(Checked(i)).selected; }
  void SetSelected(std::int64_t i, bool selected) { At(Checked(i)).selected = selected; }
  void SelectAll();

  // Bytes held beyond the texts themselves, for measuring: unused room in
  // the blocks and the bookkeeping included.
  std::size_t OverheadBytes() const;

 private:
  struct Entry {
    std::uint64_t inode;
    std::uint64_t version;
    std::uint32_t length;      // of the text, or of a path entry's name
    std::uint32_t block : 24;  // text block; an empty text has none
    std::uint32_t selected : 1;
    std::uint32_t stampKnown : 1;
    std::uint32_t stampEmpty : 1;
    std::uint32_t identity : 2;  // a StampIdentity
    std::uint32_t inArena : 1;   // a path entry: its text is built
    std::uint32_t offset : 16;   // in the text block
    std::uint32_t device : 16;   // slot in devices_
    std::uint32_t dir;           // a path entry's directory in its arena
    std::uint16_t arena;         // ... and that arena's slot in arenas_
  };
  static_assert(sizeof(Entry) == 40);

  struct TextBlock {
    std::unique_ptr<char[]> bytes;
    std::uint32_t size = 0;
    std::uint32_t capacity = 0;
  };

  // Entries per block (a power of two) and the size a text block grows to,
  // so that every offset in a shared block fits in 16 bits; a longer text
  // gets a block of its own.
  static constexpr std::size_t kEntryBlock = 1024;
  static constexpr std::uint32_t kTextBlock = 64 * 1024;
  static constexpr std::uint32_t kMaxTextBlocks = 1u << 24;
  static constexpr std::uint32_t kMaxDevices = 1u << 16;
  static constexpr std::uint32_t kMaxArenas = 1u << 16;

  Entry& At(std::size_t i) { return entries_[i / kEntryBlock][i % kEntryBlock]; }
  const Entry& At(std::size_t i) const { return entries_[i / kEntryBlock][i % kEntryBlock]; }
  // Throws RuntimeError(kInvalidCall) for an index outside the list.
  std::size_t Checked(std::int64_t i) const;
  std::string_view View(const Entry& e) const;
  Entry MakeEntry(std::string_view text, const FileStamp& stamp);
  std::uint16_t ArenaSlot(const std::shared_ptr<const PathArena>& arena);
  void PushEntry(const Entry& entry);
  // Copies text into the last text block, or a new one; sets block and offset.
  void StoreText(std::string_view text, Entry& entry);
  std::uint32_t DeviceSlot(std::uint64_t device);
  void CompactIfWasteful();

  // Every entry block is full but the last, which is never empty.
  std::vector<std::vector<Entry>> entries_;
  std::size_t count_ = 0;
  std::vector<TextBlock> texts_;
  std::uint64_t usedBytes_ = 0;  // text bytes in the blocks, freed ones included
  std::uint64_t liveBytes_ = 0;  // text bytes of the entries
  // Devices of the stamps; an entry keeps the slot. Few drives, few devices.
  std::vector<std::uint64_t> devices_;
  // The arenas of the path entries; one per walk that added entries.
  std::vector<std::shared_ptr<const PathArena>> arenas_;
  // Where Text() builds a path entry's text.
  mutable std::string built_;
};

}  // namespace tidwen

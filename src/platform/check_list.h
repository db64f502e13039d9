// A checkable list of byte texts, compact enough for millions of entries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_stamp.h"

namespace tidwen {

// Entries keep their texts in one shared buffer, so an entry costs a fixed
// 32 bytes beyond its text. Removing the last entry is O(1); removing entry i
// moves the entries after it. Text freed by removals is reclaimed once it
// outweighs the live text.
class CheckList {
 public:
  void Append(std::string_view text, const FileStamp& stamp = {});
  void Insert(std::int64_t index, std::string_view text);
  void Remove(std::int64_t index);
  void Clear();

  std::int64_t Count() const { return static_cast<std::int64_t>(entries_.size()); }
  std::string_view Text(std::int64_t i) const;
  FileStamp Stamp(std::int64_t i) const;
  bool Selected(std::int64_t i) const { return entries_[Checked(i)].selected; }
  void SetSelected(std::int64_t i, bool selected) { entries_[Checked(i)].selected = selected; }
  void SelectAll();

  // Bytes held beyond the texts themselves, for measuring.
  std::size_t OverheadBytes() const;

 private:
  struct Entry {
    std::uint64_t offset;
    std::uint64_t device;
    std::uint64_t inode;
    std::uint32_t length;
    bool selected;
    bool stampKnown;
    bool stampEmpty;
  };
  static_assert(sizeof(Entry) <= 32);

  // Throws RuntimeError(kInvalidCall) for an index outside the list.
  std::size_t Checked(std::int64_t i) const;
  Entry MakeEntry(std::string_view text, const FileStamp& stamp);
  void CompactIfWasteful();

  std::string text_;
  std::vector<Entry> entries_;
  std::uint64_t liveBytes_ = 0;
};

}  // namespace tidwen

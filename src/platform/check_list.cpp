#include "platform/check_list.h"

#include <limits>

#include "platform/runtime_error.h"

namespace tidwen {

std::size_t CheckList::Checked(std::int64_t i) const {
  if (i < 0 || i >= Count()) throw RuntimeError(kInvalidCall, "list index out of range");
  return static_cast<std::size_t>(i);
}

CheckList::Entry CheckList::MakeEntry(std::string_view text, const FileStamp& stamp) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) throw RuntimeError(kInvalidCall);
  Entry e{text_.size(), stamp.device, stamp.inode, static_cast<std::uint32_t>(text.size()),
          false, stamp.known, stamp.empty};
  text_.append(text);
  liveBytes_ += text.size();
  return e;
}

void CheckList::Append(std::string_view text, const FileStamp& stamp) {
  entries_.push_back(MakeEntry(text, stamp));
}

void CheckList::Insert(std::int64_t index, std::string_view text) {
  if (index < 0 || index > Count()) throw RuntimeError(kInvalidCall, "list index out of range");
  Entry e = MakeEntry(text, {});
  entries_.insert(entries_.begin() + index, e);
}

void CheckList::Remove(std::int64_t index) {
  const std::size_t at = Checked(index);
  liveBytes_ -= entries_[at].length;
  // Removing the last entry also frees its text, so a list emptied from the
  // end never needs compacting.
  if (at + 1 == entries_.size() && entries_[at].offset + entries_[at].length == text_.size())
    text_.resize(entries_[at].offset);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
  CompactIfWasteful();
}

void CheckList::Clear() {
  entries_.clear();
  text_.clear();
  liveBytes_ = 0;
}

std::string_view CheckList::Text(std::int64_t i) const {
  const Entry& e = entries_[Checked(i)];
  return std::string_view(text_).substr(e.offset, e.length);
}

FileStamp CheckList::Stamp(std::int64_t i) const {
  const Entry& e = entries_[Checked(i)];
  if (!e.stampKnown) return {};
  return FileStamp{e.device, e.inode, e.stampEmpty, true};
}

void CheckList::SelectAll() {
  for (Entry& e : entries_) e.selected = true;
}

std::size_t CheckList::OverheadBytes() const {
  return entries_.capacity() * sizeof(Entry) + (text_.capacity() - liveBytes_);
}

void CheckList::CompactIfWasteful() {
  const std::uint64_t waste = text_.size() - liveBytes_;
  // Compacting costs the whole buffer, so wait until the waste is large both
  // in itself and against the live text: the cost then amortises to O(1) per
  // removed byte.
  if (waste < (1u << 20) || waste < liveBytes_) return;
  std::string packed;
  packed.reserve(liveBytes_);
  for (Entry& e : entries_) {
    const std::uint64_t offset = packed.size();
    packed.append(text_, e.offset, e.length);
    e.offset = offset;
  }
  text_.swap(packed);
}

}  // namespace tidwen

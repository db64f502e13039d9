#include "model/check_list.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

#include "model/runtime_error.h"

namespace tidwen {

std::size_t CheckList::Checked(std::int64_t i) const {
  if (i < 0 || i >= Count()) throw RuntimeError(kInvalidCall, "list index out of range");
  return static_cast<std::size_t>(i);
}

std::uint32_t CheckList::DeviceSlot(std::uint64_t device) {
  // Almost every stamp names the device of the one before.
  if (!devices_.empty() && devices_.back() == device) {
    return static_cast<std::uint32_t>(devices_.size() - 1);
  }
  const auto found = std::find(devices_.begin(), devices_.end(), device);
  if (found != devices_.end()) return static_cast<std::uint32_t>(found - devices_.begin());
  if (devices_.size() >= kMaxDevices) throw RuntimeError(kInvalidCall, "too many devices");
  devices_.push_back(device);
  return static_cast<std::uint32_t>(devices_.size() - 1);
}

void CheckList::StoreText(std::string_view text, Entry& entry) {
  const auto length = static_cast<std::uint32_t>(text.size());
  if (length == 0) {
    entry.block = 0;
    entry.offset = 0;
    return;
  }
  if (texts_.empty() ||
      (texts_.back().size > 0 && texts_.back().size + std::uint64_t{length} > kTextBlock)) {
    texts_.emplace_back();
  }
  TextBlock& block = texts_.back();
  const std::uint64_t needed = std::uint64_t{block.size} + length;
  std::string copy;
  if (needed > block.capacity) {
    // Growing moves the block; a text of this list that lies in it is copied
    // first. Texts in other blocks never move.
    const std::less<const char*> before;
    if (!before(text.data(), block.bytes.get()) &&
        before(text.data(), block.bytes.get() + block.size)) {
      copy.assign(text);
      text = copy;
    }
    // Small lists stay small: a block doubles up to its full size, and only
    // a text longer than that gets more.
    const std::uint64_t doubled = std::max<std::uint64_t>(2 * std::uint64_t{block.capacity}, 256);
    const auto capacity = static_cast<std::uint32_t>(
        std::max<std::uint64_t>(needed, std::min<std::uint64_t>(doubled, kTextBlock)));
    auto bytes = std::make_unique<char[]>(capacity);
    if (block.size > 0) std::memcpy(bytes.get(), block.bytes.get(), block.size);
    block.bytes = std::move(bytes);
    block.capacity = capacity;
  }
  std::memcpy(block.bytes.get() + block.size, text.data(), length);
  // A shared block starts each text below kTextBlock; a longer text starts
  // its own block at 0.
  entry.block = static_cast<std::uint32_t>(texts_.size() - 1);
  entry.offset = block.size;
  block.size += length;
  usedBytes_ += length;
  liveBytes_ += length;
}

CheckList::Entry CheckList::MakeEntry(std::string_view text, const FileStamp& stamp) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max() - kTextBlock) {
    throw RuntimeError(kInvalidCall, "list text too long");
  }
  if (texts_.size() >= kMaxTextBlocks) {
    throw RuntimeError(kInvalidCall, "list too long");
  }
  Entry e{};
  e.inode = stamp.inode;
  e.version = stamp.version;
  e.identity = static_cast<std::uint32_t>(stamp.identity);
  e.length = static_cast<std::uint32_t>(text.size());
  e.device = stamp.known ? DeviceSlot(stamp.device) : 0;
  e.stampKnown = stamp.known;
  e.stampEmpty = stamp.empty;
  e.selected = false;
  StoreText(text, e);
  return e;
}

void CheckList::PushEntry(const Entry& entry) {
  if (entries_.empty() || entries_.back().size() == kEntryBlock) {
    entries_.emplace_back();
  }
  // A block's capacity doubles up to kEntryBlock and no further.
  entries_.back().push_back(entry);
  ++count_;
}

void CheckList::Append(std::string_view text, const FileStamp& stamp) {
  PushEntry(MakeEntry(text, stamp));
}

std::uint16_t CheckList::ArenaSlot(const std::shared_ptr<const PathArena>& arena) {
  // Entries come walk by walk: almost always the arena of the one before.
  if (!arenas_.empty() && arenas_.back() == arena) {
    return static_cast<std::uint16_t>(arenas_.size() - 1);
  }
  const auto found = std::find(arenas_.begin(), arenas_.end(), arena);
  if (found != arenas_.end()) return static_cast<std::uint16_t>(found - arenas_.begin());
  if (arenas_.size() >= kMaxArenas) throw RuntimeError(kInvalidCall, "too many walks");
  arenas_.push_back(arena);
  return static_cast<std::uint16_t>(arenas_.size() - 1);
}

void CheckList::AppendPath(const ArenaPath& path, const FileStamp& stamp) {
  if (!path.arena || path.dir >= path.arena->Count()) {
    throw RuntimeError(kInvalidCall, "no such directory");
  }
  const std::uint16_t slot = ArenaSlot(path.arena);
  Entry e = MakeEntry(path.name, stamp);
  e.inArena = 1;
  e.dir = path.dir;
  e.arena = slot;
  PushEntry(e);
}

void CheckList::AppendEntry(const CheckList& from, std::int64_t i) {
  const Entry& e = from.At(from.Checked(i));
  const FileStamp stamp = from.Stamp(i);
  if (e.inArena) {
    AppendPath({from.arenas_[e.arena], e.dir, from.View(e)}, stamp);
  } else {
    Append(from.View(e), stamp);
  }
}

void CheckList::Insert(std::int64_t index, std::string_view text) {
  if (index < 0 || index > Count()) throw RuntimeError(kInvalidCall, "list index out of range");
  const Entry e = MakeEntry(text, {});
  PushEntry(e);
  const auto at = static_cast<std::size_t>(index);
  for (std::size_t j = count_ - 1; j > at; --j) At(j) = At(j - 1);
  At(at) = e;
}

void CheckList::Remove(std::int64_t index) {
  const std::size_t at = Checked(index);
  const Entry removed = At(at);
  liveBytes_ -= removed.length;
  // Text at the end of the last block is freed at once, so a list emptied
  // from the end never needs compacting.
  if (removed.length > 0 && removed.block + std::size_t{1} == texts_.size() &&
      removed.offset + removed.length == texts_.back().size) {
    texts_.back().size -= removed.length;
    usedBytes_ -= removed.length;
    if (texts_.back().size == 0) texts_.pop_back();
  }

  // Close the gap: within the entry's block, then one entry over from each
  // later block.
  std::size_t blockIndex = at / kEntryBlock;
  std::vector<Entry>& block = entries_[blockIndex];
  block.erase(block.begin() + static_cast<std::ptrdiff_t>(at % kEntryBlock));
  for (std::size_t next = blockIndex + 1; next < entries_.size(); ++next) {
    entries_[next - 1].push_back(entries_[next].front());
    entries_[next].erase(entries_[next].begin());
  }
  if (entries_.back().empty()) entries_.pop_back();
  --count_;
  if (count_ == 0) {
    Clear();
    return;
  }
  CompactIfWasteful();
}

void CheckList::Clear() {
  // Emptied, the list gives its memory back, the arenas' included.
  std::vector<std::vector<Entry>>().swap(entries_);
  std::vector<TextBlock>().swap(texts_);
  std::vector<std::uint64_t>().swap(devices_);
  std::vector<std::shared_ptr<const PathArena>>().swap(arenas_);
  std::string().swap(built_);
  count_ = 0;
  usedBytes_ = 0;
  liveBytes_ = 0;
}

std::string_view CheckList::View(const Entry& e) const {
  if (e.length == 0) return {};
  return std::string_view(texts_[e.block].bytes.get() + e.offset, e.length);
}

std::string_view CheckList::Text(std::int64_t i) const {
  const Entry& e = At(Checked(i));
  if (!e.inArena) return View(e);
  built_.clear();
  arenas_[e.arena]->AppendPath(e.dir, built_, View(e));
  return built_;
}

FileStamp CheckList::Stamp(std::int64_t i) const {
  const Entry& e = At(Checked(i));
  if (!e.stampKnown) return {};
  return FileStamp{
      devices_[e.device], e.inode, e.stampEmpty != 0, true, static_cast<StampIdentity>(e.identity),
      e.version};
}

void CheckList::SelectAll() {
  for (std::vector<Entry>& block : entries_) {
    for (Entry& e : block) e.selected = true;
  }
}

std::size_t CheckList::OverheadBytes() const {
  std::size_t bytes =
      sizeof(*this) + entries_.capacity() * sizeof(std::vector<Entry>) +
      texts_.capacity() * sizeof(TextBlock) + devices_.capacity() * sizeof(std::uint64_t) +
      arenas_.capacity() * sizeof(std::shared_ptr<const PathArena>) + built_.capacity();
  for (const std::vector<Entry>& block : entries_) bytes += block.capacity() * sizeof(Entry);
  for (const TextBlock& block : texts_) bytes += block.capacity;
  return bytes - liveBytes_;
}

void CheckList::CompactIfWasteful() {
  const std::uint64_t waste = usedBytes_ - liveBytes_;
  // Compacting costs every text, so wait until the waste is large both in
  // itself and against the live text: the cost then amortises to O(1) per
  // removed byte.
  if (waste < (1u << 20) || waste < liveBytes_) return;
  std::vector<TextBlock> old;
  old.swap(texts_);
  usedBytes_ = 0;
  liveBytes_ = 0;
  for (std::vector<Entry>& block : entries_) {
    for (Entry& e : block) {
      StoreText(e.length == 0 ? std::string_view()
                              : std::string_view(old[e.block].bytes.get() + e.offset, e.length),
                e);
    }
  }
}

}  // namespace tidwen

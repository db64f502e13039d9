#include "platform/ntfs/ntfs_collation.h"

#include <cstddef>

namespace tidwen {

namespace {

// The UTF-16 code units of a WTF-8 name, one at a time. The index writes
// its names itself, so they are well formed.
class Units {
 public:
  explicit Units(std::string_view bytes) : bytes_(bytes) {}
  bool Done() const { return pendingTrail_ == 0 && at_ >= bytes_.size(); }
  std::uint16_t Next() {
    if (pendingTrail_ != 0) {
      const std::uint16_t trail = pendingTrail_;
      pendingTrail_ = 0;
      return trail;
    }
    const auto b0 = static_cast<unsigned char>(bytes_[at_]);
    if (b0 < 0x80) {
      ++at_;
      return b0;
    }
    const std::size_t length = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : 2;
    std::uint32_t cp = b0 & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < length && at_ + k < bytes_.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(bytes_[at_ + k]) & 0x3F);
    }
    at_ += length;
    if (cp < 0x10000) return static_cast<std::uint16_t>(cp);
    cp -= 0x10000;
    pendingTrail_ = static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF));
    return static_cast<std::uint16_t>(0xD800 + (cp >> 10));
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
  std::uint16_t pendingTrail_ = 0;
};

}  // namespace

int CollateNames(std::string_view a, std::string_view b, const UpcaseTable& upcase) {
  const auto up = [&upcase](std::uint16_t u) { return u < upcase.size() ? upcase[u] : u; };
  Units x(a);
  Units y(b);
  // The first units that differ as written, for names equal in upper case.
  int written = 0;
  while (!x.Done() && !y.Done()) {
    const std::uint16_t u = x.Next();
    const std::uint16_t v = y.Next();
    if (up(u) != up(v)) return up(u) < up(v) ? -1 : 1;
    if (written == 0 && u != v) written = u < v ? -1 : 1;
  }
  if (!x.Done()) return 1;
  if (!y.Done()) return -1;
  return written;
}

}  // namespace tidwen

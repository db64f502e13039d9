// The bytes of an NTFS volume as the Master File Table reader takes them,
// and reading little-endian numbers out of them. The reader makes no system
// call of its own: each backend hands it a VolumeBytes over what it can open
// (a block device read with pread on Linux, a volume handle read with
// ReadFile on Windows), and tests hand it images in memory.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <utility>

namespace tidwen {

class VolumeBytes {
 public:
  virtual ~VolumeBytes() = default;
  // Fills out with the bytes at offset; false when they cannot all be read.
  // The reader asks only for whole clusters at cluster boundaries, and for
  // the first 4096 bytes, so that a device that takes whole sectors alone
  // (a Windows volume handle) is never asked for less.
  virtual bool ReadAt(std::uint64_t offset, std::span<std::byte> out) = 0;
};

// A volume held in memory: an image for tests and fuzzing. Reads past its
// end fail.
class MemoryVolume final : public VolumeBytes {
 public:
  explicit MemoryVolume(std::span<const std::byte> bytes) : bytes_(bytes) {}
  bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
  }

 private:
  std::span<const std::byte> bytes_;
};

// What the reader found wrong with a volume: a structure out of its bounds,
// a fixup that does not match, a runlist leaving the volume. It ends the
// read; the scan then walks the directories instead.
class NtfsAnomaly final : public std::exception {
 public:
  explicit NtfsAnomaly(std::string what) : what_(std::move(what)) {}
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::string what_;
};

// Little-endian numbers at an offset of a byte span, checked against its end.
template <class T>
T LittleEndianAt(std::span<const std::byte> bytes, std::size_t offset) {
  if (offset > bytes.size() || sizeof(T) > bytes.size() - offset) {
    throw NtfsAnomaly("a field beyond its structure");
  }
  T value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
  } else {
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      value |= static_cast<T>(static_cast<T>(std::to_integer<std::uint8_t>(bytes[offset + i]))
                              << (8 * i));
    }
  }
  return value;
}
inline std::uint8_t U8(std::span<const std::byte> b, std::size_t at) {
  return LittleEndianAt<std::uint8_t>(b, at);
}
inline std::uint16_t U16(std::span<const std::byte> b, std::size_t at) {
  return LittleEndianAt<std::uint16_t>(b, at);
}
inline std::uint32_t U32(std::span<const std::byte> b, std::size_t at) {
  return LittleEndianAt<std::uint32_t>(b, at);
}
inline std::uint64_t U64(std::span<const std::byte> b, std::size_t at) {
  return LittleEndianAt<std::uint64_t>(b, at);
}

// A part of a span, checked against its end.
inline std::span<const std::byte> SubSpan(std::span<const std::byte> b, std::size_t at,
                                          std::size_t size) {
  if (at > b.size() || size > b.size() - at) throw NtfsAnomaly("a part beyond its structure");
  return b.subspan(at, size);
}

}  // namespace tidwen

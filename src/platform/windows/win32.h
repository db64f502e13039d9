// The Win32 headers as the Windows layer uses them: wide-character calls,
// nothing from the rarely used parts, no min and max macros.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>

#include <cstdint>
#include <utility>

namespace tidwen {

// Owns a kernel handle from CreateFileW and the like.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { Close(); }
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Close();
      h_ = std::exchange(other.h_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  // Closes the handle; false when CloseHandle failed.
  bool Close() {
    if (!Valid()) return true;
    const BOOL ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok != FALSE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

// A FILETIME or a pair of DWORD halves as one 64-bit number.
inline std::uint64_t Join64(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}
inline std::uint64_t FileTimeValue(const FILETIME& t) {
  return Join64(t.dwHighDateTime, t.dwLowDateTime);
}

}  // namespace tidwen

// Names of 16-bit code units (as Windows file systems keep them) as bytes in
// the core, and back. Well-formed UTF-16 becomes plain UTF-8. A surrogate
// that has no partner, which Windows allows in a name, becomes the three-byte
// form of its code point (the "generalised" UTF-8 known as WTF-8), so that
// every name survives the round trip exactly.
//
// Templates over the code-unit type: Windows code uses wchar_t, portable
// code and tests char16_t.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tidwen {

namespace wtf8_detail {

inline bool IsLead(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsTrail(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

inline void AppendCodePoint(std::uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace wtf8_detail

// Appends the WTF-8 bytes of units to out.
template <class Unit>
void AppendWtf8(std::basic_string_view<Unit> units, std::string& out) {
  static_assert(sizeof(Unit) == 2, "16-bit code units");
  using wtf8_detail::IsLead;
  using wtf8_detail::IsTrail;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const std::uint32_t u = static_cast<std::uint16_t>(units[i]);
    if (IsLead(u) && i + 1 < units.size()) {
      const std::uint32_t next = static_cast<std::uint16_t>(units[i + 1]);
      if (IsTrail(next)) {
        wtf8_detail::AppendCodePoint(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00), out);
        ++i;
        continue;
      }
    }
    // Any other unit, an unpaired surrogate included, stands for itself.
    wtf8_detail::AppendCodePoint(u, out);
  }
}

template <class Unit>
std::string ToWtf8(std::basic_string_view<Unit> units) {
  std::string out;
  out.reserve(units.size());
  AppendWtf8(units, out);
  return out;
}

// Appends the code units of WTF-8 bytes to out. False, with out holding
// whatever came before the fault, when bytes are not WTF-8: a stray or
// missing continuation byte, an overlong form, a code point past U+10FFFF,
// or a lead surrogate followed directly by a trail surrogate each in three
// bytes (a pair must be written as one four-byte code point, or the same
// name would have two spellings).
template <class Unit>
bool AppendFromWtf8(std::string_view bytes, std::basic_string<Unit>& out) {
  static_assert(sizeof(Unit) == 2, "16-bit code units");
  bool lastWasLoneLead = false;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint32_t b0 = static_cast<unsigned char>(bytes[i]);
    std::uint32_t cp = 0;
    std::size_t length = 0;
    std::uint32_t least = 0;
    if (b0 < 0x80) {
      cp = b0;
      length = 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      cp = b0 & 0x1F;
      length = 2;
      least = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      cp = b0 & 0x0F;
      length = 3;
      least = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      cp = b0 & 0x07;
      length = 4;
      least = 0x10000;
    } else {
      return false;
    }
    if (length > bytes.size() - i) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const std::uint32_t b = static_cast<unsigned char>(bytes[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF) return false;
    if (wtf8_detail::IsTrail(cp) && lastWasLoneLead) return false;
    lastWasLoneLead = wtf8_detail::IsLead(cp);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<Unit>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<Unit>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<Unit>(cp));
    }
    i += length;
  }
  return true;
}

}  // namespace tidwen

#include "model/display_text.h"

#include <cstdint>

namespace tidwen {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

void AppendCodePoint(std::string& out, std::uint32_t cp) {
  if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (cp & 0x3F));
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes
// there do not start one (overlong forms, surrogates and values past
// U+10FFFF included).
std::size_t ValidSequenceLength(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  std::size_t length;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return length;
}

// C1 control characters (U+0080 to U+009F, among them the line break
// U+0085) and the line and paragraph separators U+2028 and U+2029: valid
// UTF-8, but shown as a line break or not at all.
bool IsUnshowable(std::string_view sequence) {
  return (sequence.size() == 2 && static_cast<unsigned char>(sequence[0]) == 0xC2 &&
          static_cast<unsigned char>(sequence[1]) < 0xA0) ||
         sequence == "\xE2\x80\xA8" || sequence == "\xE2\x80\xA9";
}

}  // namespace

std::string DisplayText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x20) {
      AppendCodePoint(out, 0x2400 + b);
      ++i;
    } else if (b == 0x7F) {
      AppendCodePoint(out, 0x2421);
      ++i;
    } else if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
    } else if (const std::size_t n = ValidSequenceLength(bytes, i); n > 0) {
      const std::string_view sequence = bytes.substr(i, n);
      out.append(IsUnshowable(sequence) ? kReplacement : sequence);
      i += n;
    } else {
      out.append(kReplacement);
      ++i;
    }
  }
  return out;
}

}  // namespace tidwen

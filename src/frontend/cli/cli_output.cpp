#include "frontend/cli/cli_output.h"

#include <array>

namespace tidwen::cli {

void Stream::Write(std::string_view bytes) {
  if (failed_ || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
}

bool Stream::Flush() {
  if (!failed_ && std::fflush(file_) != 0) failed_ = true;
  return !failed_;
}

std::string UtcTime(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // The civil date of a day count (Howard Hinnant's days_from_civil, run
  // backwards).
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

std::string CsvField(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

namespace {

// The length of the valid UTF-8 sequence at s[i], or 0 when none starts
// there (overlong forms, surrogates and values past U+10FFFF included).
std::size_t SequenceLength(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) return 1;
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  const auto second = static_cast<unsigned char>(s[i + 1]);
  if (second < lo || second > hi) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if (c < 0x80 || c > 0xBF) return 0;
  }
  return n;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else if (const std::size_t n = SequenceLength(utf8, i); n > 1) {
      out.append(utf8.substr(i, n));
      i += n;
      continue;
    } else if (n == 1) {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\xEF\xBF\xBD";
    }
    ++i;
  }
  out.push_back('"');
  return out;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
    out.push_back(kDigits[static_cast<unsigned char>(c) & 15]);
  }
  return out;
}

void HitWriter::Begin() {
  if (format_ == Format::kCsv) out_.Write("path,size,modified,type\n");
  if (format_ == Format::kJson) out_.Write("[");
}

void HitWriter::Row(const HitRow& hit) {
  const std::string modified = hit.modified ? UtcTime(*hit.modified) : std::string();
  switch (format_) {
    case Format::kText:
      out_.Write(hit.path);
      out_.Write("\n");
      break;
    case Format::kCsv:
      out_.Write(CsvField(hit.path) + "," + std::to_string(hit.size) + "," + modified + "," +
                 CsvField(hit.type) + "\n");
      break;
    case Format::kJson: {
      std::string row = first_ ? "\n  {" : ",\n  {";
      row += "\"path\": " + JsonString(hit.path);
      // Bytes that are no UTF-8 cannot stand in a JSON string: they are
      // given apart, so that the path can still be told exactly.
      if (!IsValidUtf8(hit.path)) row += ", \"path_bytes\": \"" + Hex(hit.path) + "\"";
      row += ", \"size\": " + std::to_string(hit.size);
      row += ", \"modified\": " + (hit.modified ? "\"" + modified + "\"" : std::string("null"));
      row += ", \"type\": " + JsonString(hit.type) + "}";
      out_.Write(row);
      break;
    }
  }
  first_ = false;
}

void HitWriter::End() {
  if (format_ == Format::kJson) out_.Write(first_ ? "]\n" : "\n]\n");
}

void ReportWriter::Begin() { out_.Write("path,size,modified,type,outcome,error,reason\n"); }

void ReportWriter::Row(const HitRow& hit, std::string_view outcome, int number,
                       std::string_view reason) {
  const std::string modified = hit.modified ? UtcTime(*hit.modified) : std::string();
  out_.Write(CsvField(hit.path) + "," + std::to_string(hit.size) + "," + modified + "," +
             CsvField(hit.type) + "," + std::string(outcome) + "," +
             (number != 0 ? std::to_string(number) : std::string()) + "," + CsvField(reason) +
             "\n");
}

}  // namespace tidwen::cli

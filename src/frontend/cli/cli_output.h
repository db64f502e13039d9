// What the command line writes: its streams, which remember a failed write
// (a closed pipe, a full disk), and the formats of its hits and reports.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "frontend/cli/cli_options.h"

namespace tidwen::cli {

// A stream the program writes to. Once a write or a flush has failed, it
// writes nothing more and says so.
class Stream {
 public:
  explicit Stream(std::FILE* file) : file_(file) {}
  void Write(std::string_view bytes);
  // Writes out what is buffered; false once anything failed.
  bool Flush();
  bool Failed() const { return failed_; }

 private:
  std::FILE* file_;
  bool failed_ = false;
};

// Seconds since 1970 as UTC, "2024-06-11T09:30:00Z".
std::string UtcTime(std::int64_t secondsSince1970);

// A CSV field, quoted, its quotes doubled; bytes otherwise as they are.
std::string CsvField(std::string_view bytes);

// A JSON string of valid UTF-8 text, quotes included; invalid bytes become
// U+FFFD (the caller gives the bytes apart when it matters).
std::string JsonString(std::string_view utf8);
bool IsValidUtf8(std::string_view bytes);
std::string Hex(std::string_view bytes);

// One hit as the scan prints it.
struct HitRow {
  std::string_view path;  // the drive path, bytes
  std::int64_t size = 0;
  std::optional<std::int64_t> modified;  // seconds since 1970; nullopt when unknown
  std::string_view type;                 // its label in the type list
};

// Writes hits in one of the formats: text, a path a line; csv with a header
// line; json, an array of objects.
class HitWriter {
 public:
  HitWriter(Stream& out, Format format) : out_(out), format_(format) {}
  void Begin();
  void Row(const HitRow& hit);
  void End();

 private:
  Stream& out_;
  Format format_;
  bool first_ = true;
};

// The clean command's report: a CSV line for each file, with its outcome
// in fixed English words, whatever the language of the rest.
class ReportWriter {
 public:
  explicit ReportWriter(Stream& out) : out_(out) {}
  void Begin();
  void Row(const HitRow& hit, std::string_view outcome, int number, std::string_view reason);

 private:
  Stream& out_;
};

}  // namespace tidwen::cli

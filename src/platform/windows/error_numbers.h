// Turning a failed Win32 call's error code into the runtime's error numbers,
// with the meanings the Linux layer gives them. As there, what a code means
// depends on what was being done: a missing entry is "path not found" when
// listing a directory but "file not found" when measuring or deleting a file.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "model/runtime_error.h"

namespace tidwen {

enum class WinDoing {
  kListing,   // opening or reading a directory to list it
  kReaching,  // reaching a file: measuring it, stamping it, opening it to delete
  kDeleting,  // deleting a file already open
};

// One row of the table: a Win32 error code and its number in each case.
struct WinErrorRow {
  std::uint32_t error;
  int listing;
  int reaching;
  int deleting;
};

// Every Win32 code the layer gives a number of its own; any other is
// kInternalError.
std::span<const WinErrorRow> WinErrorTable();

int WinErrorNumber(std::uint32_t error, WinDoing doing);

// A RuntimeError with the number for error, saying what failed, where and
// the Win32 code.
RuntimeError WinErrorFor(std::uint32_t error, WinDoing doing, std::string_view what,
                         std::string_view path);

// A RuntimeError with a given number, saying what failed and where.
RuntimeError WinError(int number, std::string_view what, std::string_view path);

}  // namespace tidwen

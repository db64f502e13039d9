// Turning a failed system call's errno into the runtime's error numbers.
// What a given errno means depends on what was being done: a missing entry
// is "path not found" when listing a directory but "file not found" when
// measuring or deleting a file.
#pragma once

#include <string>
#include <string_view>

#include "model/runtime_error.h"

namespace tidwen {

// The number for an errno that no more specific mapping claims.
int GeneralErrorNumber(int err);

// Opening a directory to list it: gone or no longer a directory -> 76; a
// link on the way or another filesystem -> 75; otherwise as in general.
int ListErrorNumber(int err);

// Reaching a file (its directory, or the file itself): gone, a directory on
// the way that is gone, no directory or a link -> 53; another filesystem on
// the way -> 75; otherwise as in general.
int FileErrorNumber(int err);

// unlinkat(2) of a file: refused in any way (EACCES, EPERM for an immutable
// file, EROFS, ETXTBSY) -> 70; gone or no longer a file -> 53; EBUSY -> 72;
// otherwise as in general.
int DeleteErrorNumber(int err);

// Opening a drive's mount point: out of descriptors -> 67; any other
// failure -> 71, the drive is not ready.
int MountErrorNumber(int err);

// A RuntimeError with the number, saying what failed and why.
RuntimeError ErrorFor(int number, std::string_view what, std::string_view path, int err);

}  // namespace tidwen

// Invariants that the fuzz targets check on every input, shared with the
// tests that replay the inputs kept from fuzzing. Every check returns "" when
// all of its invariants hold and otherwise says which one failed and for
// what; no check throws. The checks use no test framework, so the fuzz build
// compiles this file on its own.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/drive_table.h"

namespace tidwen {
class SysCalls;
}

namespace tidwen::test {

// Bytes as a quoted C-like literal: printable ASCII stays, anything else is
// "\xHH", so a failure message shows exactly which name it was about.
std::string Quoted(std::string_view bytes);

// Strictly valid UTF-8: shortest forms only, no surrogates, nothing past
// U+10FFFF.
bool IsValidUtf8(std::string_view text);

// The drives the path checks map against: c: on "/", d: on "/mnt/data",
// e: on "/media/usb disk" (a blank), f: on "/mnt/data/inner" (inside d:) and
// g: on "/srv/odd\name" (a "\" in the mount point, as mountinfo allows).
DriveTable FuzzDriveTable();

// Takes input both as a drive path and as a POSIX path. As a drive path it
// must be accepted exactly when it is well formed (a known letter, ":\" and
// names that are neither empty, ".", ".." nor hold NUL or "/"); an accepted
// one maps below its drive's mount point to a path without ".", ".." or
// empty names, splits into parent and name consistently, and maps back to
// the same drive path unless it runs into another drive's mount point. As a
// POSIX path, an accepted one maps to a drive path that parses and leads
// back to the same place, on the drive with the longest mount point that
// holds it.
std::string CheckDrivePathMapping(std::string_view input);

// DisplayText(input) is valid UTF-8 and holds no control character (U+0000
// to U+001F, U+007F to U+009F) and no line or paragraph separator (U+2028,
// U+2029), so it shows on one line; text that is already valid UTF-8 free of
// those comes out unchanged.
std::string CheckDisplayText(std::string_view input);

// An input kept for replay: a seed of the corpus or a crash the fuzzer found.
struct KeptInput {
  std::string file;  // its path, for messages
  std::string bytes;
};

// The fuzz folder of the source tree this file was built from.
std::string FuzzSourceDir();

// Every file in <fuzzDir>/corpus/<target> and <fuzzDir>/regressions/<target>,
// in path order; a folder that does not exist adds nothing.
std::vector<KeptInput> KeptInputs(const std::string& fuzzDir, std::string_view target);

// One file name, for real: the name is created as a file in a directory
// mapped as drive c:, beside fixed neighbours, and the Linux platform must
// list it exactly when it holds no "\" and does not start with ".", measure
// it by its drive path, and delete exactly it through the file-system
// object, leaving every neighbour as it was. A name holding "\" has no drive
// path at all, and nothing may address it. Every name is checked twice: with
// paths resolved by openat2, and one component at a time as on a kernel
// without it.
class FileNameCheck {
 public:
  // dir: an existing, empty directory that the check owns from now on. The
  // neighbours are made at once; failing that throws std::runtime_error.
  explicit FileNameCheck(std::string dir);
  // Removes the neighbours and anything a failed check left behind; dir
  // itself stays.
  ~FileNameCheck();
  FileNameCheck(const FileNameCheck&) = delete;
  FileNameCheck& operator=(const FileNameCheck&) = delete;

  // Whether the property speaks about name: 1 to 255 bytes, no "/" or NUL,
  // not "." or "..", and not one of the neighbours. Other names pass Check
  // untouched.
  static bool Applies(std::string_view name);

  // Creates the file, runs every check on it, and removes what is left of it
  // whether the checks passed or not; a neighbour that went missing is made
  // again, so the next name starts from the same directory.
  std::string Check(std::string_view name);

 private:
  struct Neighbour {
    std::string name;
    bool isDirectory;
    ino_t inode;
  };

  std::string Run(std::string_view name, off_t length, SysCalls& sys);
  std::string CheckNeighbours(std::string_view name, bool nameExpected) const;
  void Restore(std::string_view name);
  void MakeNeighbour(Neighbour& neighbour);

  std::string dir_;
  int dirFd_ = -1;
  std::vector<Neighbour> neighbours_;
};

}  // namespace tidwen::test

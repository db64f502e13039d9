// Numbered runtime errors: the failure type of every platform operation.
#pragma once

#include <stdexcept>
#include <string>

namespace tidwen {

// Error numbers raised by the platform. The logic singles out only
// kFileNotFound and kPermissionDenied; every number is shown to the user as
// is in the generic failure message, so each must stay stable.
enum ErrorNumber : int {
  kInvalidCall = 5,         // EINVAL and other misuse of a call
  kOutOfMemory = 7,         // ENOMEM
  kInternalError = 51,      // anything not listed here
  kBadFileName = 52,        // a drive path that maps to no POSIX path (bad
                            // drive letter, NUL byte, name too long)
  kFileNotFound = 53,       // ENOENT on a file, or the name is no longer a
                            // regular file, or a directory on the path has
                            // been replaced by a link
  kDeviceIo = 57,           // EIO
  kTooManyFiles = 67,       // EMFILE, ENFILE
  kDeviceUnavailable = 68,  // ENODEV, ENXIO, ESTALE, ENOTCONN
  kPermissionDenied = 70,   // EACCES, EPERM, EROFS, ETXTBSY, and a file
                            // without any write permission bit
  kDiskNotReady = 71,       // the drive's mount point cannot be opened
  kFileBusy = 72,           // EBUSY
  kPathFileAccess = 75,     // ELOOP, EXDEV: the path leaves the drive
  kPathNotFound = 76,       // a directory to list is gone or is no directory
};

// A failing platform operation throws this, carrying the error's number.
class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(int number);
  RuntimeError(int number, const std::string& what);

  int Number() const { return number_; }

 private:
  int number_;
};

}  // namespace tidwen

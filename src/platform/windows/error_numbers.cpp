#include "platform/windows/error_numbers.h"

#include <array>
#include <string>

#include "platform/windows/win32.h"

namespace tidwen {

namespace {

// Not in every SDK's headers.
constexpr DWORD kErrorStoppedOnSymlink = 681;

// Read across: the code, then its number when listing, when reaching a file
// and when deleting one.
constexpr std::array<WinErrorRow, 40> kTable{{
    // Gone: a directory to list is "path not found", a file "file not found".
    {ERROR_FILE_NOT_FOUND, kPathNotFound, kFileNotFound, kFileNotFound},
    {ERROR_PATH_NOT_FOUND, kPathNotFound, kFileNotFound, kFileNotFound},
    {ERROR_DIRECTORY, kPathNotFound, kFileNotFound, kFileNotFound},
    {ERROR_DELETE_PENDING, kPathNotFound, kFileNotFound, kFileNotFound},
    {ERROR_INVALID_DRIVE, kBadFileName, kBadFileName, kBadFileName},
    {ERROR_INVALID_NAME, kBadFileName, kBadFileName, kBadFileName},
    {ERROR_BAD_PATHNAME, kBadFileName, kBadFileName, kBadFileName},
    {ERROR_FILENAME_EXCED_RANGE, kBadFileName, kBadFileName, kBadFileName},
    // Refused, in use by another program, or write-protected media.
    {ERROR_ACCESS_DENIED, kPermissionDenied, kPermissionDenied, kPermissionDenied},
    {ERROR_SHARING_VIOLATION, kPermissionDenied, kPermissionDenied, kPermissionDenied},
    {ERROR_LOCK_VIOLATION, kPermissionDenied, kPermissionDenied, kPermissionDenied},
    {ERROR_WRITE_PROTECT, kPermissionDenied, kPermissionDenied, kPermissionDenied},
    {ERROR_PRIVILEGE_NOT_HELD, kPermissionDenied, kPermissionDenied, kPermissionDenied},
    {ERROR_USER_MAPPED_FILE, kPermissionDenied, kPermissionDenied, kPermissionDenied},
    {ERROR_BUSY, kFileBusy, kFileBusy, kFileBusy},
    // A drive without its medium.
    {ERROR_NOT_READY, kDiskNotReady, kDiskNotReady, kDiskNotReady},
    {ERROR_NO_MEDIA_IN_DRIVE, kDiskNotReady, kDiskNotReady, kDiskNotReady},
    // The device or the network share went away.
    {ERROR_DEV_NOT_EXIST, kDeviceUnavailable, kDeviceUnavailable, kDeviceUnavailable},
    {ERROR_BAD_NETPATH, kDeviceUnavailable, kDeviceUnavailable, kDeviceUnavailable},
    {ERROR_NETNAME_DELETED, kDeviceUnavailable, kDeviceUnavailable, kDeviceUnavailable},
    {ERROR_BAD_NET_NAME, kDeviceUnavailable, kDeviceUnavailable, kDeviceUnavailable},
    {ERROR_UNEXP_NET_ERR, kDeviceUnavailable, kDeviceUnavailable, kDeviceUnavailable},
    {ERROR_NETWORK_UNREACHABLE, kDeviceUnavailable, kDeviceUnavailable, kDeviceUnavailable},
    {ERROR_DEVICE_NOT_CONNECTED, kDeviceUnavailable, kDeviceUnavailable, kDeviceUnavailable},
    // The medium itself failed.
    {ERROR_CRC, kDeviceIo, kDeviceIo, kDeviceIo},
    {ERROR_SEEK, kDeviceIo, kDeviceIo, kDeviceIo},
    {ERROR_SECTOR_NOT_FOUND, kDeviceIo, kDeviceIo, kDeviceIo},
    {ERROR_READ_FAULT, kDeviceIo, kDeviceIo, kDeviceIo},
    {ERROR_WRITE_FAULT, kDeviceIo, kDeviceIo, kDeviceIo},
    {ERROR_GEN_FAILURE, kDeviceIo, kDeviceIo, kDeviceIo},
    {ERROR_IO_DEVICE, kDeviceIo, kDeviceIo, kDeviceIo},
    {ERROR_FILE_CORRUPT, kDeviceIo, kDeviceIo, kDeviceIo},
    {ERROR_TOO_MANY_OPEN_FILES, kTooManyFiles, kTooManyFiles, kTooManyFiles},
    {ERROR_NOT_ENOUGH_MEMORY, kOutOfMemory, kOutOfMemory, kOutOfMemory},
    {ERROR_OUTOFMEMORY, kOutOfMemory, kOutOfMemory, kOutOfMemory},
    // A link that cannot be followed, or a way onto another volume: a
    // directory cannot be listed through it, and no file is there.
    {ERROR_CANT_RESOLVE_FILENAME, kPathFileAccess, kFileNotFound, kFileNotFound},
    {kErrorStoppedOnSymlink, kPathFileAccess, kFileNotFound, kFileNotFound},
    {ERROR_NOT_SAME_DEVICE, kPathFileAccess, kPathFileAccess, kPathFileAccess},
    {ERROR_INVALID_PARAMETER, kInvalidCall, kInvalidCall, kInvalidCall},
    {ERROR_INVALID_FUNCTION, kInvalidCall, kInvalidCall, kInvalidCall},
}};

}  // namespace

std::span<const WinErrorRow> WinErrorTable() { return kTable; }

int WinErrorNumber(std::uint32_t error, WinDoing doing) {
  for (const WinErrorRow& row : kTable) {
    if (row.error != error) continue;
    switch (doing) {
      case WinDoing::kListing:
        return row.listing;
      case WinDoing::kReaching:
        return row.reaching;
      case WinDoing::kDeleting:
        return row.deleting;
    }
  }
  return kInternalError;
}

RuntimeError WinErrorFor(std::uint32_t error, WinDoing doing, std::string_view what,
                         std::string_view path) {
  std::string text(what);
  text += ' ';
  text += path;
  text += ": Win32 error ";
  text += std::to_string(error);
  return RuntimeError(WinErrorNumber(error, doing), text);
}

RuntimeError WinError(int number, std::string_view what, std::string_view path) {
  std::string text(what);
  text += ' ';
  text += path;
  return RuntimeError(number, text);
}

}  // namespace tidwen

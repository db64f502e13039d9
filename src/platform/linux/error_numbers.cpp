#include "platform/linux/error_numbers.h"

#include <cerrno>
#include <cstring>

namespace tidwen {

int GeneralErrorNumber(int err) {
  switch (err) {
    case EINVAL:
      return kInvalidCall;
    case ENOMEM:
      return kOutOfMemory;
    case ENAMETOOLONG:
      return kBadFileName;
    case ENOENT:
    case EISDIR:
      return kFileNotFound;
    case EIO:
      return kDeviceIo;
    case EMFILE:
    case ENFILE:
      return kTooManyFiles;
    case ENODEV:
    case ENXIO:
    case ESTALE:
    case ENOTCONN:
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
      return kDeviceUnavailable;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return kPermissionDenied;
    case EBUSY:
      return kFileBusy;
    case ELOOP:
    case EXDEV:
      return kPathFileAccess;
    case ENOTDIR:
      return kPathNotFound;
    default:
      return kInternalError;
  }
}

int ListErrorNumber(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return kPathNotFound;
    case ELOOP:
    case EXDEV:
      return kPathFileAccess;
    default:
      return GeneralErrorNumber(err);
  }
}

int FileErrorNumber(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case EISDIR:
      return kFileNotFound;
    case EXDEV:
      return kPathFileAccess;
    default:
      return GeneralErrorNumber(err);
  }
}

int DeleteErrorNumber(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return kPermissionDenied;
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
      return kFileNotFound;
    case EBUSY:
      return kFileBusy;
    default:
      return GeneralErrorNumber(err);
  }
}

int MountErrorNumber(int err) {
  return err == EMFILE || err == ENFILE ? kTooManyFiles : kDiskNotReady;
}

RuntimeError ErrorFor(int number, std::string_view what, std::string_view path, int err) {
  std::string text(what);
  text += ' ';
  text += path;
  if (err != 0) {
    text += ": ";
    text += std::strerror(err);
  }
  return RuntimeError(number, text);
}

}  // namespace tidwen

#include "platform/windows/file_system.h"

#include <optional>

#include "platform/windows/error_numbers.h"
#include "platform/windows/file_stamp_win.h"
#include "platform/windows/win32.h"
#include "platform/windows/win_path.h"

namespace tidwen {

namespace {

class WinFileObject final : public FileObject {
 public:
  WinFileObject(UniqueHandle h, std::string path) : h_(std::move(h)), path_(std::move(path)) {}

  void Delete() override {
    if (!h_.Valid()) throw WinError(kFileNotFound, "already deleted:", path_);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h_.Get(), &info)) {
      throw WinErrorFor(GetLastError(), WinDoing::kDeleting, "cannot delete", path_);
    }
    // Never forced: a read-only file stays, read-only as it was.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
      throw WinError(kPermissionDenied, "read-only:", path_);
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!SetFileInformationByHandle(h_.Get(), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
      throw WinErrorFor(GetLastError(), WinDoing::kDeleting, "cannot delete", path_);
    }
    // The name goes when the last handle to the file closes.
    h_.Close();
  }

 private:
  UniqueHandle h_;
  std::string path_;
};

bool StampMatches(const FileStamp& expected, HANDLE h, const BY_HANDLE_FILE_INFORMATION& info) {
  const WinFileId id =
      FileIdOf(h, info.dwVolumeSerialNumber, Join64(info.nFileIndexHigh, info.nFileIndexLow));
  if (expected.device != id.volume || expected.inode != id.file) return false;
  if (expected.version == 0) return true;
  const auto size = static_cast<std::int64_t>(Join64(info.nFileSizeHigh, info.nFileSizeLow));
  const std::int64_t written = FileTimeToUnixNs(FileTimeValue(info.ftLastWriteTime));
  switch (expected.identity) {
    case StampIdentity::kBirthTime:
      return expected.version == StampVersion(size, written, StampIdentity::kBirthTime,
                                              FileTimeValue(info.ftCreationTime));
    case StampIdentity::kNone:
      return expected.version == StampVersion(size, written, StampIdentity::kNone, 0);
    case StampIdentity::kGeneration:
      break;  // no such number on Windows: not this file
  }
  return false;
}

class WinFileSystemObject final : public FileSystemObject {
 public:
  explicit WinFileSystemObject(WinFileSystem& fs) : fs_(fs) {}

  std::unique_ptr<FileObject> GetFile(std::string_view path, const FileStamp& expected) override {
    const std::optional<WinDrivePath> file = ParseWinDrivePath(path);
    if (!file) throw WinError(kBadFileName, "not a file path:", path);
    if (file->IsRoot()) throw WinError(kFileNotFound, "not a file:", path);
    fs_.CheckParents(*file);

    // Others may go on reading and writing the file, and delete it, while it
    // is open here; a program that holds it without sharing deletion makes
    // the open fail with a sharing violation.
    UniqueHandle h(CreateFileW(file->longPath.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.Valid()) {
      const DWORD error = GetLastError();
      if (error == ERROR_ACCESS_DENIED) {
        // A directory refuses an open made without backup semantics.
        const DWORD attributes = GetFileAttributesW(file->longPath.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
          throw WinError(kFileNotFound, "not a file:", path);
        }
      }
      throw WinErrorFor(error, WinDoing::kReaching, "cannot open", path);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h.Get(), &info)) {
      throw WinErrorFor(GetLastError(), WinDoing::kReaching, "cannot look at", path);
    }
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
      throw WinError(kFileNotFound, "not a file:", path);
    }
    if (expected.known && !StampMatches(expected, h.Get(), info)) {
      throw WinError(kPermissionDenied, "changed since it was found:", path);
    }
    return std::make_unique<WinFileObject>(std::move(h), std::string(path));
  }

 private:
  WinFileSystem& fs_;
};

}  // namespace

std::unique_ptr<FileSystemObject> WinFileSystem::CreateFileSystemObject() {
  return std::make_unique<WinFileSystemObject>(*this);
}

void WinFileSystem::EndBatch() noexcept {
  if (batchDepth_ > 0 && --batchDepth_ == 0) checkedParent_.clear();
}

void WinFileSystem::CheckParents(const WinDrivePath& file) {
  const std::string_view parent = SplitWinPath(file.path).parent;
  if (batchDepth_ > 0 && !checkedParent_.empty() && parent == checkedParent_) return;
  // Each directory below the root, outermost first: "\\?\c:\a", "\\?\c:\a\b".
  std::wstring dir;
  std::size_t from = 7;  // past "\\?\c:\"
  while (true) {
    const std::size_t cut = file.longPath.find(L'\\', from);
    if (cut == std::wstring::npos) break;
    dir.assign(file.longPath, 0, cut);
    const DWORD attributes = GetFileAttributesW(dir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      throw WinErrorFor(GetLastError(), WinDoing::kReaching, "cannot reach", file.path);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      throw WinError(kFileNotFound, "a directory on the way is no plain directory:", file.path);
    }
    from = cut + 1;
  }
  if (batchDepth_ > 0) checkedParent_.assign(parent);
}

}  // namespace tidwen

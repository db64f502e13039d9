#include "platform/windows/file_system.h"

#include <cwchar>
#include <optional>
#include <vector>

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

// The same told another way, where the full path cannot be had: the
// volume's serial number, then the path within the volume, every link
// resolved: "1a2b3c4d:\a\x.tmp". Throws RuntimeError by the Win32 error.
std::wstring VolumePathOf(HANDLE h, std::string_view path) {
  BY_HANDLE_FILE_INFORMATION info;
  std::vector<char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
  auto* name = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
  if (!GetFileInformationByHandle(h, &info) ||
      !GetFileInformationByHandleEx(h, FileNameInfo, name, static_cast<DWORD>(buffer.size()))) {
    throw WinErrorFor(GetLastError(), WinDoing::kReaching, "cannot resolve", path);
  }
  wchar_t serial[16];
  swprintf(serial, 16, L"%08lx:", static_cast<unsigned long>(info.dwVolumeSerialNumber));
  return serial + std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t));
}

// Paths compared exactly, but for the drive letter. The names the system
// resolves are the names on disk, in their case, as the listing gave them;
// a path that the file system finds ignoring case may still lead to
// another file whose name differs only in case, where the file system
// tells them apart (a Unix directory under Wine, a case-sensitive folder).
bool SamePath(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
  const std::size_t letter = a.size() >= 2 && a[1] == L':' ? 1 : 0;
  if (letter && lower(a[0]) != lower(b[0])) return false;
  return a.substr(letter) == b.substr(letter);
}

// Whether the file open at h is the very file that file names, and not one
// reached through a link in its place. On Windows a link is a reparse point,
// which the open does not follow; but under Wine a Unix symbolic link to a
// file looks like a plain file and is opened through, so the attributes
// alone cannot be trusted. The path the system resolved for the handle
// must be the one asked for, name for name in the same case: a link
// "report.tmp" to "report.Tmp" beside it resolves to the other name. Else,
// as for a drive that is another folder's alias (a subst drive) or a path
// with short names, the file must be the one of its name in its directory,
// both resolved by the system alike.
bool ReachesNamedFile(HANDLE h, const WinDrivePath& file) {
  const std::optional<std::wstring> final = FinalPathOf(h);
  const std::wstring_view named = std::wstring_view(file.longPath).substr(4);  // past "\\?\"
  if (final && SamePath(*final, named)) return true;

  const std::size_t cut = file.longPath.rfind(L'\\');
  const std::wstring parentPath = file.longPath.substr(0, cut == 6 ? cut + 1 : cut);  // "\\?\c:\"
  UniqueHandle parent(
      CreateFileW(parentPath.c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!parent.Valid()) {
    throw WinErrorFor(GetLastError(), WinDoing::kReaching, "cannot open the directory of",
                      file.path);
  }
  std::wstring actual;
  std::wstring expected;
  if (final) {
    const std::optional<std::wstring> parentFinal = FinalPathOf(parent.Get());
    if (!parentFinal) return false;
    actual = *final;
    expected = *parentFinal;
  } else {
    actual = VolumePathOf(h, file.path);
    expected = VolumePathOf(parent.Get(), file.path);
  }
  if (expected.empty() || expected.back() != L'\\') expected.push_back(L'\\');
  expected.append(file.longPath, cut + 1);
  return SamePath(actual, expected);
}

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

    // Shared with no one: a file that another program has open, to read,
    // to write or mapped, whatever it lets others do, makes the open fail
    // with a sharing violation (70), and while the file is open here no
    // program can open it until it is gone.
    UniqueHandle h(CreateFileW(file->longPath.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
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
    if (!ReachesNamedFile(h.Get(), *file)) {
      throw WinError(kPermissionDenied, "reached through a link:", path);
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

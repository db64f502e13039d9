#include "platform/windows/directory_platform.h"

#include "platform/windows/win32.h"

#include "model/runtime_error.h"
#include "platform/windows/file_facts.h"
#include "platform/wtf8.h"

namespace tidwen {

namespace {

constexpr std::string_view kShownRoot = "c:\\";

bool StartsWithFolded(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  // Only the drive letter may differ in case.
  if (!prefix.empty() && (text[0] | 0x20) != (prefix[0] | 0x20)) return false;
  return text.substr(1, prefix.size() - 1) == prefix.substr(1);
}

class MappedDirList final : public DirListControl {
 public:
  MappedDirList(DirListControl& inner, const DriveMapping& map) : inner_(inner), map_(map) {}
  void SetVisible(bool visible) override { inner_.SetVisible(visible); }
  bool Visible() const override { return inner_.Visible(); }
  void SetPath(std::string_view path) override { inner_.SetPath(map_.ToReal(path)); }
  std::string Path() const override { return map_.ToShown(inner_.Path()); }
  std::int64_t ListCount() const override { return inner_.ListCount(); }
  std::string List(std::int64_t i) const override { return map_.ToShown(inner_.List(i)); }

 private:
  DirListControl& inner_;
  const DriveMapping& map_;
};

class MappedFileList final : public FileListControl {
 public:
  MappedFileList(FileListControl& inner, const DriveMapping& map) : inner_(inner), map_(map) {}
  void SetVisible(bool visible) override { inner_.SetVisible(visible); }
  bool Visible() const override { return inner_.Visible(); }
  void SetPath(std::string_view path) override { inner_.SetPath(map_.ToReal(path)); }
  std::string Path() const override { return map_.ToShown(inner_.Path()); }
  std::int64_t ListCount() const override { return inner_.ListCount(); }
  std::string_view List(std::int64_t i) const override { return inner_.List(i); }

 private:
  FileListControl& inner_;
  const DriveMapping& map_;
};

class MappedFileLength final : public FileLengthService {
 public:
  MappedFileLength(FileLengthService& inner, const DriveMapping& map) : inner_(inner), map_(map) {}
  std::int64_t FileLen(std::string_view path) override { return inner_.FileLen(Real(path)); }
  FileStamp LastStamp() override { return inner_.LastStamp(); }

 private:
  // A path not on c: names nothing here, whatever it names on the machine.
  std::string Real(std::string_view path) const {
    if (!DriveMapping::Shown(path)) throw RuntimeError(kBadFileName, "not on this drive");
    return map_.ToReal(path);
  }

  FileLengthService& inner_;
  const DriveMapping& map_;
};

class MappedFileSystemObject final : public FileSystemObject {
 public:
  MappedFileSystemObject(std::unique_ptr<FileSystemObject> inner, const DriveMapping& map)
      : inner_(std::move(inner)), map_(map) {}
  std::unique_ptr<FileObject> GetFile(std::string_view path, const FileStamp& expected) override {
    if (!DriveMapping::Shown(path)) throw RuntimeError(kBadFileName, "not on this drive");
    return inner_->GetFile(map_.ToReal(path), expected);
  }

 private:
  std::unique_ptr<FileSystemObject> inner_;
  const DriveMapping& map_;
};

class MappedFileSystem final : public FileSystemService {
 public:
  MappedFileSystem(FileSystemService& inner, const DriveMapping& map) : inner_(inner), map_(map) {}
  std::unique_ptr<FileSystemObject> CreateFileSystemObject() override {
    return std::make_unique<MappedFileSystemObject>(inner_.CreateFileSystemObject(), map_);
  }
  void BeginBatch() override { inner_.BeginBatch(); }
  void EndBatch() noexcept override { inner_.EndBatch(); }
  void ReleaseKept() noexcept override { inner_.ReleaseKept(); }

 private:
  FileSystemService& inner_;
  const DriveMapping& map_;
};

}  // namespace

DriveMapping::DriveMapping(std::string_view dir) : dir_(dir) {
  if (dir_.size() > 3 && dir_.back() == '\\') dir_.pop_back();
}

bool DriveMapping::Shown(std::string_view path) { return StartsWithFolded(path, kShownRoot); }

std::string DriveMapping::ToReal(std::string_view shown) const {
  if (!Shown(shown)) return std::string(shown);
  const std::string_view rest = shown.substr(kShownRoot.size());
  if (rest.empty()) return dir_;
  std::string real = dir_;
  if (real.back() != '\\') real.push_back('\\');
  real.append(rest);
  return real;
}

bool DriveMapping::Inside(std::string_view real) const {
  if (!StartsWithFolded(real, dir_)) return false;
  const std::string_view rest = real.substr(dir_.size());
  return dir_.back() == '\\' || rest.empty() || rest.front() == '\\';
}

std::string DriveMapping::ToShown(std::string_view real) const {
  if (!Inside(real)) return std::string(real);
  std::string_view rest = real.substr(dir_.size());
  if (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
  std::string shown(kShownRoot);
  shown.append(rest);
  return shown;
}

struct DirectoryPlatform::Impl {
  explicit Impl(std::string_view dir)
      : platform(WinDriveList(std::vector<WinDrive>{})),
        map(dir),
        dir1(platform.Dir1(), map),
        file1(platform.File1(), map),
        fileLength(platform.FileLength(), map),
        fileSystem(platform.FileSystem(), map) {}
  WindowsPlatform platform;
  DriveMapping map;
  MappedDirList dir1;
  MappedFileList file1;
  MappedFileLength fileLength;
  MappedFileSystem fileSystem;
};

DirectoryPlatform::DirectoryPlatform(std::string_view dir) : impl_(std::make_unique<Impl>(dir)) {
  // A scan of c: starts at the directory, which is no drive's root.
  impl_->platform.SetWalkStart(impl_->map.Dir());
}
DirectoryPlatform::~DirectoryPlatform() = default;

std::vector<DriveInfo> DirectoryPlatform::Drives() const {
  const std::string& dir = impl_->map.Dir();
  return {DriveInfo{'c', dir, dir, 0}};
}
DirListControl& DirectoryPlatform::Dir1() { return impl_->dir1; }
FileListControl& DirectoryPlatform::File1() { return impl_->file1; }
FileLengthService& DirectoryPlatform::FileLength() { return impl_->fileLength; }
FileSystemService& DirectoryPlatform::FileSystem() { return impl_->fileSystem; }
void DirectoryPlatform::ReleaseHandles() noexcept { impl_->platform.ReleaseHandles(); }
void DirectoryPlatform::SetReadAhead(int workers) { impl_->platform.SetReadAhead(workers); }
void DirectoryPlatform::SetReadAhead(int workers, std::int64_t settledNs) {
  impl_->platform.SetReadAhead(workers, settledNs);
}

void DirectoryPlatform::SetVolumeIndex(bool use) { impl_->platform.SetVolumeIndex(use); }
std::int64_t DirectoryPlatform::IndexedListings() const {
  return impl_->platform.IndexedListings();
}

std::optional<std::string> DirectoryPlatform::DrivePathOf(std::string_view systemPath) const {
  if (!impl_->map.Inside(systemPath)) return std::nullopt;
  return impl_->map.ToShown(systemPath);
}

std::optional<std::string> DirectoryPlatform::SystemPathOf(std::string_view drivePath) const {
  if (!DriveMapping::Shown(drivePath)) return std::nullopt;
  return impl_->map.ToReal(drivePath);
}

std::optional<FileFacts> DirectoryPlatform::DescribeFile(std::string_view drivePath) const {
  return DescribeWinFile(SystemPathOf(drivePath));
}

std::string FullDirectoryPath(std::string_view path) {
  std::wstring wide;
  if (!AppendFromWtf8(path, wide)) return {};
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return {};
  full.resize(length);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
  if (full.size() < 3 || full[1] != L':' || full[2] != L'\\') return {};
  std::string out = ToWtf8(std::wstring_view(full));
  if (out[0] >= 'A' && out[0] <= 'Z') out[0] = static_cast<char>(out[0] - 'A' + 'a');
  return out;
}

std::unique_ptr<TunablePlatform> MakeTunablePlatform(const std::string& systemDirectory) {
  const std::string dir = FullDirectoryPath(systemDirectory);
  if (dir.empty()) throw RuntimeError(kPathNotFound, "not a directory on a drive");
  return std::make_unique<DirectoryPlatform>(dir);
}

std::unique_ptr<Platform> MakeDirectoryPlatform(const std::string& systemDirectory) {
  return MakeTunablePlatform(systemDirectory);
}

}  // namespace tidwen

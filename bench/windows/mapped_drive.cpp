#include "mapped_drive.h"

#include <vector>

#include "platform/form1_context.h"
#include "platform/plain_controls.h"
#include "platform/runtime_error.h"
#include "platform/platform_services.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"

namespace tidwen::bench {

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
  std::int64_t FileLen(std::string_view path) override { return inner_.FileLen(map_.ToReal(path)); }
  FileStamp LastStamp() override { return inner_.LastStamp(); }

 private:
  FileLengthService& inner_;
  const DriveMapping& map_;
};

// Aborts the list: a scan shows no message box.
class NoMessageBox final : public MessageBoxService {
 public:
  int MsgBox(std::string_view text, MsgBoxButtons, MsgBoxIcon, std::string_view) override {
    throw RuntimeError(kInternalError, "a scan showed a message box: " + std::string(text));
  }
};

}  // namespace

DriveMapping::DriveMapping(std::string_view dir) : dir_(dir) {
  if (dir_.size() > 3 && dir_.back() == '\\') dir_.pop_back();
}

std::string DriveMapping::ToReal(std::string_view shown) const {
  if (!StartsWithFolded(shown, kShownRoot)) return std::string(shown);
  const std::string_view rest = shown.substr(kShownRoot.size());
  if (rest.empty()) return dir_;
  std::string real = dir_;
  if (real.back() != '\\') real.push_back('\\');
  real.append(rest);
  return real;
}

std::string DriveMapping::ToShown(std::string_view real) const {
  if (!StartsWithFolded(real, dir_)) return std::string(real);
  std::string_view rest = real.substr(dir_.size());
  if (dir_.back() != '\\') {
    if (!rest.empty() && rest.front() != '\\') return std::string(real);  // "<dir>x", a sibling
    if (!rest.empty()) rest.remove_prefix(1);
  }
  std::string shown(kShownRoot);
  shown.append(rest);
  return shown;
}

struct MappedPlatform::Impl {
  Impl(WindowsPlatform& platform, std::string_view dir)
      : map(dir),
        dir1(platform.Dir1(), map),
        file1(platform.File1(), map),
        fileLength(platform.FileLength(), map),
        fileSystem(platform.FileSystem()) {}
  DriveMapping map;
  MappedDirList dir1;
  MappedFileList file1;
  MappedFileLength fileLength;
  FileSystemService& fileSystem;
};

MappedPlatform::MappedPlatform(WindowsPlatform& platform, std::string_view dir)
    : impl_(std::make_unique<Impl>(platform, dir)) {}
MappedPlatform::~MappedPlatform() = default;
DirListControl& MappedPlatform::Dir1() { return impl_->dir1; }
FileListControl& MappedPlatform::File1() { return impl_->file1; }
FileLengthService& MappedPlatform::FileLength() { return impl_->fileLength; }
FileSystemService& MappedPlatform::FileSystem() { return impl_->fileSystem; }

std::vector<std::string> ListHits(std::string_view dir) {
  WindowsPlatform platform{WinDriveList(std::vector<WinDrive>{})};
  MappedPlatform mapped(platform, dir);
  PlainListControl list1, list2, list3;
  PlainLabel label1;
  PlainDriveList drive1{"c:"};
  NoMessageBox box;
  Form1Context form = MakeForm1Context(WindowParts{list1, list2, list3, label1, drive1, box},
                                       ServicesOf(mapped));
  Form_Load(form);
  Command1_Click(form);
  std::vector<std::string> hits;
  hits.reserve(static_cast<std::size_t>(list1.ListCount()));
  for (std::int64_t i = 0; i < list1.ListCount(); ++i) hits.emplace_back(list1.List(i));
  return hits;
}

}  // namespace tidwen::bench

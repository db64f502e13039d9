#include "memory_platform.h"

#include <gtest/gtest.h>

#include "model/runtime_error.h"

namespace tidwen::test {

std::pair<std::string, std::string> SplitPath(std::string_view path) {
  const std::size_t slash = path.rfind('\\');
  if (slash == std::string_view::npos) return {std::string(), std::string(path)};
  // The root keeps its "\"; other directories end without one.
  const std::size_t dirLength = (slash == 2) ? 3 : slash;
  return {std::string(path.substr(0, dirLength)), std::string(path.substr(slash + 1))};
}

MemoryTree::MemoryTree() { directories_["c:\\"]; }

MemoryTree::Directory& MemoryTree::EnsureDirectory(std::string_view path) {
  auto it = directories_.find(path);
  if (it != directories_.end()) return it->second;
  auto [parent, name] = SplitPath(path);
  EnsureDirectory(parent).subdirectories.push_back(name);
  return directories_[std::string(path)];
}

void MemoryTree::AddDirectory(std::string_view path) { EnsureDirectory(path); }

void MemoryTree::AddFile(std::string_view path, std::int64_t length, bool readOnly) {
  auto [parent, name] = SplitPath(path);
  EnsureDirectory(parent).files.push_back(name);
  files_[std::string(path)] = File{length, readOnly, nextInode_++};
}

void MemoryTree::RemoveFile(std::string_view path) {
  auto [parent, name] = SplitPath(path);
  auto dir = directories_.find(parent);
  if (dir != directories_.end()) std::erase(dir->second.files, name);
  auto it = files_.find(path);
  if (it != files_.end()) files_.erase(it);
}

void MemoryTree::RemoveDirectory(std::string_view path) {
  auto [parent, name] = SplitPath(path);
  auto dir = directories_.find(parent);
  if (dir != directories_.end()) std::erase(dir->second.subdirectories, name);
  const std::string prefix = std::string(path) + "\\";
  std::erase_if(directories_,
                [&](const auto& d) { return d.first == path || d.first.starts_with(prefix); });
  std::erase_if(files_, [&](const auto& f) { return f.first.starts_with(prefix); });
}

bool MemoryTree::HasFile(std::string_view path) const { return files_.find(path) != files_.end(); }

MemoryTree::File* MemoryTree::FindFile(std::string_view path) {
  auto it = files_.find(path);
  return it == files_.end() ? nullptr : &it->second;
}

const MemoryTree::Directory* MemoryTree::FindDirectory(std::string_view path) const {
  auto it = directories_.find(path);
  return it == directories_.end() ? nullptr : &it->second;
}

namespace {
std::optional<int> Lookup(const std::map<std::string, int, std::less<>>& failures,
                          std::string_view path) {
  auto it = failures.find(path);
  if (it == failures.end()) return std::nullopt;
  return it->second;
}
}  // namespace

std::optional<int> MemoryTree::ListingFailure(std::string_view path) const {
  return Lookup(listingFailures_, path);
}
std::optional<int> MemoryTree::LengthFailure(std::string_view path) const {
  return Lookup(lengthFailures_, path);
}
std::optional<int> MemoryTree::DeleteFailure(std::string_view path) const {
  return Lookup(deleteFailures_, path);
}

void RecordingList::AddItem(std::string_view text) {
  log.emplace_back(text);
  PlainListControl::AddItem(text);
}

void RecordingList::AddItem(std::string_view text, const FileStamp& stamp) {
  log.emplace_back(text);
  PlainListControl::AddItem(text, stamp);
}

std::vector<std::string> RecordingList::Texts() const {
  std::vector<std::string> texts;
  for (std::int64_t i = 0; i < ListCount(); ++i) texts.emplace_back(List(i));
  return texts;
}

void RecordingLabel::SetCaption(std::string_view caption) {
  captions.emplace_back(caption);
  log.emplace_back(caption);
  PlainLabel::SetCaption(caption);
}

void RecordingLabel::Refresh() { log.emplace_back("|refresh"); }

template <class ListControl>
void MemoryLister<ListControl>::Open(std::string_view path,
                                     std::vector<std::string> MemoryTree::Directory::*names) {
  if (auto failure = tree_.ListingFailure(path)) throw RuntimeError(*failure);
  const MemoryTree::Directory* dir = tree_.FindDirectory(path);
  if (dir == nullptr) throw RuntimeError(kPathNotFound);
  path_ = path;
  names_ = dir->*names;
}

template class MemoryLister<DirListControl>;
template class MemoryLister<FileListControl>;

void MemoryDirLister::SetPath(std::string_view path) {
  Open(path, &MemoryTree::Directory::subdirectories);
  visited.emplace_back(path);
}

std::string MemoryDirLister::List(std::int64_t i) const {
  const std::string& name = names_.at(static_cast<std::size_t>(i));
  return path_.ends_with('\\') ? path_ + name : path_ + "\\" + name;
}

std::int64_t MemoryFileLength::FileLen(std::string_view path) {
  queries.emplace_back(path);
  if (auto failure = tree_.LengthFailure(path)) throw RuntimeError(*failure);
  const MemoryTree::File* file = tree_.FindFile(path);
  if (file == nullptr) throw RuntimeError(kFileNotFound);
  last_ = FileStamp{1, file->inode, file->length == 0, true};
  return file->length;
}

int ScriptedMessageBox::MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
                               std::string_view title) {
  boxes.push_back(Box{std::string(text), buttons, icon, std::string(title)});
  if (buttons == MsgBoxButtons::kOkOnly) return kMsgBoxOk;
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << text;
    return kMsgBoxNo;
  }
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

namespace {

class MemoryFile : public FileObject {
 public:
  MemoryFile(MemoryFileSystem& fs, MemoryTree& tree, std::string path)
      : fs_(fs), tree_(tree), path_(std::move(path)) {
    ++fs_.liveObjects;
  }
  ~MemoryFile() override { --fs_.liveObjects; }

  void Delete() override {
    if (auto failure = tree_.DeleteFailure(path_)) throw RuntimeError(*failure);
    const MemoryTree::File* file = tree_.FindFile(path_);
    if (file == nullptr) throw RuntimeError(kFileNotFound);
    if (file->readOnly) throw RuntimeError(kPermissionDenied);
    tree_.RemoveFile(path_);
    fs_.deleted.push_back(path_);
  }

 private:
  MemoryFileSystem& fs_;
  MemoryTree& tree_;
  std::string path_;
};

}  // namespace

class MemoryFso : public FileSystemObject {
 public:
  MemoryFso(MemoryFileSystem& fs) : fs_(fs) { ++fs_.liveObjects; }
  ~MemoryFso() override { --fs_.liveObjects; }

  std::unique_ptr<FileObject> GetFile(std::string_view path, const FileStamp& expected) override {
    fs_.stampsAsked.push_back(expected);
    const MemoryTree::File* file = fs_.tree_.FindFile(path);
    if (file == nullptr) throw RuntimeError(kFileNotFound);
    if (expected.known && expected.inode != file->inode) throw RuntimeError(kPermissionDenied);
    return std::make_unique<MemoryFile>(fs_, fs_.tree_, std::string(path));
  }

 private:
  MemoryFileSystem& fs_;
};

std::unique_ptr<FileSystemObject> MemoryFileSystem::CreateFileSystemObject() {
  if (failCreate) throw RuntimeError(*failCreate);
  return std::make_unique<MemoryFso>(*this);
}

}  // namespace tidwen::test

// An in-memory platform for unit tests: a scripted drive tree, controls and
// services that record every call, and scripted message-box answers.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/controls.h"
#include "model/form1_context.h"
#include "model/plain_controls.h"
#include "model/services.h"
#include "platform/platform_services.h"

namespace tidwen::test {

// A drive tree addressed by drive paths ("c:\", "c:\a", "c:\a\x.tmp").
// Directories list their subdirectories and files in the order they were
// added. Parent directories are created as needed.
class MemoryTree {
 public:
  struct File {
    std::int64_t length = 1;
    bool readOnly = false;
    std::uint64_t inode = 0;
  };
  struct Directory {
    std::vector<std::string> subdirectories;  // bare names, in order
    std::vector<std::string> files;           // bare names, in order
  };

  MemoryTree();
  void AddDirectory(std::string_view path);
  void AddFile(std::string_view path, std::int64_t length = 1, bool readOnly = false);
  void RemoveFile(std::string_view path);
  void RemoveDirectory(std::string_view path);  // and everything below it

  bool HasFile(std::string_view path) const;
  File* FindFile(std::string_view path);
  const Directory* FindDirectory(std::string_view path) const;

  // Makes listing this directory fail with the given error number.
  void FailListing(std::string_view path, int number) {
    listingFailures_[std::string(path)] = number;
  }
  std::optional<int> ListingFailure(std::string_view path) const;
  // Makes a length query of this file fail with the given number.
  void FailLength(std::string_view path, int number) {
    lengthFailures_[std::string(path)] = number;
  }
  std::optional<int> LengthFailure(std::string_view path) const;
  // Makes the deletion of this file fail with the given number.
  void FailDelete(std::string_view path, int number) {
    deleteFailures_[std::string(path)] = number;
  }
  std::optional<int> DeleteFailure(std::string_view path) const;

 private:
  Directory& EnsureDirectory(std::string_view path);

  std::map<std::string, Directory, std::less<>> directories_;
  std::map<std::string, File, std::less<>> files_;
  std::map<std::string, int, std::less<>> listingFailures_;
  std::map<std::string, int, std::less<>> lengthFailures_;
  std::map<std::string, int, std::less<>> deleteFailures_;
  std::uint64_t nextInode_ = 1;
};

// Splits a drive path into its directory path and bare name, the way the
// listers build them ("c:\x" -> "c:\", "x"; "c:\a\x" -> "c:\a", "x").
std::pair<std::string, std::string> SplitPath(std::string_view path);

// A list that records every appended text and counts refreshes.
class RecordingList : public PlainListControl {
 public:
  using PlainListControl::AddItem;
  void AddItem(std::string_view text) override;
  void AddItem(std::string_view text, const FileStamp& stamp) override;
  void Refresh() override {
    ++refreshes;
    log.emplace_back("|refresh");
  }

  std::vector<std::string> Texts() const;

  int refreshes = 0;
  // Each appended text, followed by "|refresh" when a Refresh came next.
  std::vector<std::string> log;
};

// A label that records every caption it is given.
class RecordingLabel : public PlainLabel {
 public:
  void SetCaption(std::string_view caption) override;
  void Refresh() override;

  std::vector<std::string> captions;
  // Each caption, followed by "|refresh" when a Refresh came next.
  std::vector<std::string> log;
};

// What the two listers of a MemoryTree share: visibility, and the directory
// whose subdirectories or files they list.
template <class ListControl>
class MemoryLister : public ListControl {
 public:
  explicit MemoryLister(const MemoryTree& tree) : tree_(tree) {}
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  std::string Path() const override { return path_; }
  std::int64_t ListCount() const override { return static_cast<std::int64_t>(names_.size()); }

 protected:
  // Lists the names (subdirectories or files) of the directory at path.
  // Throws the failure scripted for path, or kPathNotFound where there is no
  // such directory, and then keeps the previous listing.
  void Open(std::string_view path, std::vector<std::string> MemoryTree::Directory::*names);

  const MemoryTree& tree_;
  std::string path_;
  std::vector<std::string> names_;
  bool visible_ = true;
};

class MemoryDirLister : public MemoryLister<DirListControl> {
 public:
  using MemoryLister::MemoryLister;
  void SetPath(std::string_view path) override;
  std::string List(std::int64_t i) const override;

  std::vector<std::string> visited;  // every path set, in order
};

class MemoryFileLister : public MemoryLister<FileListControl> {
 public:
  using MemoryLister::MemoryLister;
  void SetPath(std::string_view path) override { Open(path, &MemoryTree::Directory::files); }
  std::string_view List(std::int64_t i) const override {
    return names_.at(static_cast<std::size_t>(i));
  }
};

class MemoryFileLength : public FileLengthService {
 public:
  explicit MemoryFileLength(MemoryTree& tree) : tree_(tree) {}
  std::int64_t FileLen(std::string_view path) override;
  FileStamp LastStamp() override { return last_; }

  std::vector<std::string> queries;  // every path asked, in order

 private:
  MemoryTree& tree_;
  FileStamp last_;
};

// Answers message boxes from a script and records each box.
class ScriptedMessageBox : public MessageBoxService {
 public:
  struct Box {
    std::string text;
    MsgBoxButtons buttons;
    MsgBoxIcon icon;
    std::string title;
  };
  int MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
             std::string_view title) override;

  // Answers for Yes/No boxes, used in order; a box without a scripted answer
  // fails the test. OK-only boxes always answer OK.
  std::deque<int> answers;
  std::vector<Box> boxes;
};

// Deletes files of the tree; counts live objects so tests can see that every
// object is released.
class MemoryFileSystem : public FileSystemService {
 public:
  explicit MemoryFileSystem(MemoryTree& tree) : tree_(tree) {}
  std::unique_ptr<FileSystemObject> CreateFileSystemObject() override;
  void BeginBatch() override {
    ++batches;
    inBatch = true;
  }
  void EndBatch() noexcept override { inBatch = false; }

  // Makes creating the next file-system object fail with this number.
  std::optional<int> failCreate;
  int liveObjects = 0;
  int batches = 0;
  bool inBatch = false;
  std::vector<std::string> deleted;  // paths deleted, in order
  std::vector<FileStamp> stampsAsked;

 private:
  friend class MemoryFso;
  MemoryTree& tree_;
};

// Everything a Form1Context needs, over one tree, with drive "c:" chosen.
struct MemoryPlatform {
  MemoryTree tree;
  RecordingList List1;
  RecordingList List2;
  RecordingList List3;
  RecordingLabel Label1;
  PlainDriveList Drive1{"c: [/]"};
  MemoryDirLister Dir1{tree};
  MemoryFileLister File1{tree};
  MemoryFileLength FileLength{tree};
  ScriptedMessageBox MessageBox;
  MemoryFileSystem FileSystem{tree};

  Form1Context context = MakeForm1Context({List1, List2, List3, Label1, Drive1},
                                          {Dir1, File1, FileLength, FileSystem}, MessageBox);
};

}  // namespace tidwen::test

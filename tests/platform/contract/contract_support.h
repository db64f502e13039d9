// What every backend must do, checked the same way on each: the platform of
// MakeDirectoryPlatform over a temporary tree made with std::filesystem, so
// that one suite runs on Linux and on Windows (under Wine too). Where the
// backends legitimately differ, a hook below says how; each backend's tests
// define the hooks (contract_hooks.cpp beside them).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "support/error_of.h"

namespace tidwen::contract {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with
// everything in it, read-only files included. Relative paths use "/".
class Tree {
 public:
  Tree() {
    std::mt19937_64 random(std::random_device{}() ^
                           std::chrono::steady_clock::now().time_since_epoch().count());
    do {
      root_ = fs::temp_directory_path() / ("tidwen-contract-" + std::to_string(random()));
    } while (!fs::create_directory(root_));
  }
  ~Tree() {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root_, ec)) {
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // The system's path of relative; the tree's root for "".
  fs::path Path(std::string_view relative) const {
    return relative.empty() ? root_ : root_ / fs::path(relative).make_preferred();
  }
  std::string Root() const { return root_.string(); }

  void Dir(std::string_view relative) const { fs::create_directories(Path(relative)); }
  // Makes or overwrites a file with these bytes, and its directory.
  void File(std::string_view relative, std::string_view bytes = "1") const {
    fs::create_directories(Path(relative).parent_path());
    std::ofstream(Path(relative), std::ios::binary | std::ios::trunc) << bytes;
  }
  bool Exists(std::string_view relative) const { return fs::exists(Path(relative)); }
  std::string Read(std::string_view relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Remove(std::string_view relative) const { fs::remove_all(Path(relative)); }
  void SetReadOnly(std::string_view relative) const {
    fs::permissions(Path(relative), fs::perms::owner_write | fs::perms::group_write |
                                        fs::perms::others_write, fs::perm_options::remove);
  }
  bool ReadOnly(std::string_view relative) const {
    return (fs::status(Path(relative)).permissions() & fs::perms::owner_write) == fs::perms::none;
  }

 private:
  fs::path root_;
};

// The drive path of relative on c:: "c:\" and relative with "\" separators.
inline std::string DrivePath(std::string_view relative) {
  std::string path = "c:\\" + std::string(relative);
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// Backend hooks.
// Whether the listers give names in the order of their bytes; otherwise
// they give the system's order, which the contract leaves open.
extern const bool kListsInByteOrder;
// Hides the file or directory at relative as the backend counts hidden,
// and returns its relative path afterwards; "" with why set when the file
// system cannot.
std::string Hide(const Tree& tree, std::string_view relative, std::string& why);
// Makes a file of length bytes without writing them.
void MakeSparseFile(const Tree& tree, std::string_view relative, std::int64_t length);

// Names as the listers gave them, sorted where the backend lists them in
// the system's order, so that they compare with a sorted expectation.
inline std::vector<std::string> InByteOrder(std::vector<std::string> names) {
  if (!kListsInByteOrder) std::sort(names.begin(), names.end());
  return names;
}

// The platform of a fresh tree, and ways to read it.
class PlatformTest : public ::testing::Test {
 protected:
  std::vector<std::string> DirNames() {
    std::vector<std::string> names;
    for (std::int64_t i = 0; i < dir1_.ListCount(); ++i) names.push_back(dir1_.List(i));
    return names;
  }
  std::vector<std::string> FileNames() {
    std::vector<std::string> names;
    for (std::int64_t i = 0; i < file1_.ListCount(); ++i) names.emplace_back(file1_.List(i));
    return names;
  }
  // Deletes path as the cleaner does; 0, or the number it failed with.
  int Delete(std::string_view path, const FileStamp& stamp = {}) {
    return test::ErrorOf([&] {
      platform_->FileSystem().CreateFileSystemObject()->GetFile(path, stamp)->Delete();
    });
  }
  // The stamp the scan records for the file at path.
  FileStamp StampOf(std::string_view path) {
    platform_->FileLength().FileLen(path);
    return platform_->FileLength().LastStamp();
  }

  Tree tree_;
  std::unique_ptr<Platform> platform_ = MakeDirectoryPlatform(tree_.Root());
  DirListControl& dir1_ = platform_->Dir1();
  FileListControl& file1_ = platform_->File1();
};

}  // namespace tidwen::contract

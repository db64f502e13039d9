// What every backend must do, checked the same way on each: the platform of
// MakeDirectoryPlatform over a temporary tree made with std::filesystem, so
// that one suite runs on Linux and on Windows (under Wine too). Where the
// backends legitimately differ, a hook below says how; each backend's tests
// define the hooks (contract_hooks.cpp beside them).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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

// A fresh directory under the system's temporary directory (its drive
// letter in lower case, as the platforms give it), removed with everything
// in it, read-only files included. Relative paths use "/".
class Tree {
 public:
  Tree() {
    std::string temp = fs::temp_directory_path().string();
    if (temp.size() > 1 && temp[1] == ':') temp[0] = static_cast<char>(temp[0] | 0x20);
    std::random_device random;
    do {
      root_ = fs::path(temp) / ("tidwen-contract-" + std::to_string(random()));
    } while (!fs::create_directory(root_));
  }
  ~Tree() {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root_, ec)) {
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
  }

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
    fs::permissions(Path(relative),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
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
// The platforms the contract is checked over, by name: the backend's
// MakeDirectoryPlatform, and any other way it may work on the same system.
std::vector<std::string> PlatformKinds();
// The platform of this kind over root, with whatever it uses and does not
// own, which must outlive it.
struct MadePlatform {
  std::shared_ptr<void> uses;
  std::unique_ptr<Platform> platform;
};
MadePlatform MakePlatform(const std::string& kind, const std::string& root);
// The names in the directory at relative, in the order the listers must
// give them: by their bytes on Linux, the system's order on Windows.
std::vector<std::string> ListingOrder(const Tree& tree, std::string_view relative);
// Hides the file or directory at relative as the backend counts hidden,
// and returns its relative path afterwards; "" with why set when the file
// system cannot.
std::string Hide(const Tree& tree, std::string_view relative, std::string& why);
// Makes a file of length bytes without writing them.
void MakeSparseFile(const Tree& tree, std::string_view relative, std::int64_t length);
// Has another process open the file at relative and keep it open, as a
// program that uses it does, until the returned object goes; nullptr with
// why set when the backend cannot here.
std::shared_ptr<void> HoldOpen(const Tree& tree, std::string_view relative, std::string& why);

// Of the names in the directory at relative, these, in listing order, each
// with prefix in front.
inline std::vector<std::string> InListingOrder(const Tree& tree, std::string_view relative,
                                               const std::vector<std::string>& names,
                                               const std::string& prefix = "") {
  std::vector<std::string> out;
  for (const std::string& name : ListingOrder(tree, relative)) {
    if (std::count(names.begin(), names.end(), name)) out.push_back(prefix + name);
  }
  return out;
}

// The platform of a fresh tree, of each kind in turn, and ways to read it.
// Each suite is instantiated with CONTRACT_SUITE.
class PlatformTest : public ::testing::TestWithParam<std::string> {
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
    return test::ErrorOf(
        [&] { platform_->FileSystem().CreateFileSystemObject()->GetFile(path, stamp)->Delete(); });
  }
  // The stamp the scan records for the file at path.
  FileStamp StampOf(std::string_view path) {
    platform_->FileLength().FileLen(path);
    return platform_->FileLength().LastStamp();
  }

  Tree tree_;
  MadePlatform made_ = MakePlatform(GetParam(), tree_.Root());
  Platform* platform_ = made_.platform.get();
  DirListControl& dir1_ = platform_->Dir1();
  FileListControl& file1_ = platform_->File1();
};

#define CONTRACT_SUITE(suite)                                             \
  INSTANTIATE_TEST_SUITE_P(, suite, ::testing::ValuesIn(PlatformKinds()), \
                           [](const auto& info) { return info.param; })

}  // namespace tidwen::contract

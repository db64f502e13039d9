// What Unix mounts show under Wine is kept out as what they show is kept
// out through its own path: the Windows folder and its drive bound
// elsewhere, /etc and /var bound elsewhere, a part of /usr, a proc file
// system of its own. The
// mounts are real, made in a private mount namespace by
// cmake/wine-namespace-run.sh, which ctest runs as WinMountNamespace;
// outside it these tests say they are skipped.
#include "platform/windows/win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/windows/windows_platform.h"
#include "win_test_support.h"

namespace tidwen {
namespace {

class WinMountNamespace : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t mounts[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"TIDWEN_TEST_MOUNTS", mounts, 1024);
    if (length == 0 || length >= 1024) {
      GTEST_SKIP() << "needs the mounts that cmake/wine-namespace-run.sh makes (ctest's "
                      "WinMountNamespace)";
    }
    if (test::UnixPathOf("z:\\") != "/") GTEST_SKIP() << "no Z: drive for the Unix root";
    std::string unix = test::Narrow(std::wstring_view(mounts, length));
    std::replace(unix.begin(), unix.end(), '/', '\\');
    mounts_ = "z:" + unix;
  }

  struct Listed {
    std::vector<std::string> dirs;  // last names, lower case, sorted
    std::int64_t files = 0;
  };
  // The listing of a folder given relative to the mounts' folder, or as a
  // drive path.
  Listed List(const std::string& folder) {
    const std::string path =
        folder.starts_with("c:") ? folder : mounts_ + (folder.empty() ? "" : "\\" + folder);
    Listed out;
    platform_.Dir1().SetPath(path);
    platform_.File1().SetPath(path);
    for (std::int64_t i = 0; i < platform_.Dir1().ListCount(); ++i) {
      std::string dir = platform_.Dir1().List(i);
      dir.erase(0, dir.rfind('\\') + 1);
      std::transform(dir.begin(), dir.end(), dir.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      out.dirs.push_back(dir);
    }
    std::sort(out.dirs.begin(), out.dirs.end());
    out.files = platform_.File1().ListCount();
    return out;
  }

  std::string mounts_;
  WindowsPlatform platform_{WinDriveList(std::vector<WinDrive>{})};
};

TEST_F(WinMountNamespace, WhatAMountShowsIsKeptOutAsThroughItsOwnPath) {
  struct Row {
    const char* folder;
    std::vector<std::string> dirs;
    std::int64_t files;
  };
  const Row rows[] = {
      // /etc, a part of /usr and a proc file system are not listed; /var is,
      // as the way to its tmp.
      {"", {"user", "var"}, 0},
      {"var", {"tmp"}, 0},
      {"user", {}, 1},
      // The Windows folder is listed as the way to its Temp folder alone,
      // and Program Files and ProgramData not at all, wherever they show.
      {"c:\\bound-windows", {"temp"}, 0},
      {"c:\\users\\bound-drive", {"bound-windows", "users", "windows"}, 0},
      {"c:\\users\\bound-drive\\windows", {"temp"}, 0},
  };
  for (const Row& row : rows) {
    const Listed listed = List(row.folder);
    EXPECT_EQ(listed.dirs, row.dirs) << row.folder;
    EXPECT_EQ(listed.files, row.files) << row.folder;
  }
}

}  // namespace
}  // namespace tidwen

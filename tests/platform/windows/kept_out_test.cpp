// What the Windows listers leave out: the system's folders, known by
// identity whatever the path to them, with the Windows folder's Temp folder
// kept in reach; and the trees of version-control systems and package
// managers, by name in any case.
#include "platform/windows/kept_out.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "model/runtime_error.h"
#include "platform/windows/windows_platform.h"
#include "support/error_of.h"
#include "win_test_support.h"

namespace tidwen {
namespace {

using test::ErrorOf;
using test::Narrow;
using test::WinTempTree;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool Below(const std::string& path, const std::string& folder) {
  const std::string p = Lower(path), f = Lower(folder);
  return p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == '\\';
}

class WinKeptOutTest : public ::testing::Test {
 protected:
  struct Listed {
    std::vector<std::string> dirs;
    std::vector<std::string> files;  // full paths
  };
  // The listing of one directory, as the listers give it.
  Listed List(const std::string& path) {
    Listed out;
    platform_.Dir1().SetPath(path);
    platform_.File1().SetPath(path);
    for (std::int64_t i = 0; i < platform_.Dir1().ListCount(); ++i)
      out.dirs.push_back(platform_.Dir1().List(i));
    const std::string dir = platform_.Dir1().Path() + (path.size() == 3 ? "" : "\\");
    for (std::int64_t i = 0; i < platform_.File1().ListCount(); ++i) {
      out.files.push_back(dir + std::string(platform_.File1().List(i)));
    }
    return out;
  }
  // Breadth-first from root, as a scan goes, up to a number of directories;
  // a directory that cannot be listed (another test's, gone meanwhile) is
  // passed over.
  Listed Walk(const std::string& root, std::size_t most) {
    Listed all;
    std::vector<std::string> queue{root};
    for (std::size_t at = 0; at < queue.size() && at < most; ++at) {
      try {
        Listed one = List(queue[at]);
        queue.insert(queue.end(), one.dirs.begin(), one.dirs.end());
        all.dirs.insert(all.dirs.end(), one.dirs.begin(), one.dirs.end());
        all.files.insert(all.files.end(), one.files.begin(), one.files.end());
      } catch (const RuntimeError&) {
      }
    }
    return all;
  }

  WinKeptOut::Folders folders_ = WinKeptOut::SystemFolders();
  std::string windows_ = Lower(Narrow(folders_.windows));
  WindowsPlatform platform_{WinDriveList(std::vector<WinDrive>{})};
};

TEST_F(WinKeptOutTest, AScanOfTheSystemDriveFindsJunkInWindowsTempAndNothingElseOfTheSystem) {
  ASSERT_EQ(folders_.programs.size(), 3u);
  ASSERT_GT(windows_.size(), 3u);
  const std::string junk =
      windows_ + "\\temp\\tidwen-kept-out-" + std::to_string(GetCurrentProcessId()) + ".tmp";
  const std::wstring longJunk = L"\\\\?\\" + test::Wide(junk);
  HANDLE h = CreateFileW(longJunk.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    GTEST_SKIP() << "cannot make a file in the Windows folder's Temp folder: " << GetLastError();
  }
  CloseHandle(h);
  const Listed walked = Walk(windows_.substr(0, 3), 5000);
  const bool readable = ErrorOf([&] { List(windows_ + "\\temp"); }) == 0;
  DeleteFileW(longJunk.c_str());

  const auto listed = [&](const std::string& path) {
    return std::any_of(walked.files.begin(), walked.files.end(),
                       [&](const std::string& p) { return Lower(p) == Lower(path); });
  };
  if (readable) {
    EXPECT_TRUE(listed(junk));
  }
  for (const std::vector<std::string>* paths : {&walked.dirs, &walked.files}) {
    for (const std::string& path : *paths) {
      for (const std::wstring& program : folders_.programs) {
        EXPECT_NE(Lower(path), Lower(Narrow(program)));
        EXPECT_FALSE(Below(path, Narrow(program))) << path;
      }
      // In the Windows folder only its Temp folder and what lies in it.
      if (Below(path, windows_)) {
        EXPECT_TRUE(Below(path, windows_ + "\\temp") || Lower(path) == windows_ + "\\temp") << path;
      }
    }
  }
  // Without administrator's rights Windows lets one make files there but
  // not list them.
  if (!readable) GTEST_SKIP() << "the Windows folder's Temp folder cannot be listed here";
}

TEST_F(WinKeptOutTest, AnotherWayToASystemFolderIsKeptOutToo) {
  struct Row {
    std::string path;
    std::size_t dirs;  // only Temp in the Windows folder, nothing in the others
  };
  std::string upper = windows_;
  std::transform(upper.begin() + 3, upper.end(), upper.begin() + 3,
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  std::vector<Row> rows = {{upper, 1}, {Lower(Narrow(folders_.programs.at(0))), 0}};
  // A short name of a folder, where the system makes them.
  wchar_t shortName[MAX_PATH + 1] = {};
  const DWORD length = GetShortPathNameW(folders_.programs.at(0).c_str(), shortName, MAX_PATH + 1);
  if (length > 0 && length <= MAX_PATH && folders_.programs.at(0) != shortName) {
    rows.push_back({Lower(Narrow(shortName)), 0});
  }
  // The same folder through Wine's drive of the whole Unix tree.
  std::string unix = test::UnixPathOf(windows_);
  std::replace(unix.begin(), unix.end(), '/', '\\');
  if (!unix.empty()) rows.push_back({"z:" + unix, 1});
  // A drive letter standing for a folder, made as Wine makes drives: a
  // link in its dosdevices folder.
  test::UnixLinks links;
  std::string dosdevices = test::UnixPathOf("c:\\");
  while (!dosdevices.empty() && dosdevices.back() == '/') dosdevices.pop_back();
  dosdevices.erase(dosdevices.rfind('/') + 1);
  const std::string why =
      unix.empty() ? "" : links.MakeAt(dosdevices + "q:", Narrow(folders_.programs.at(2)), "q:\\");
  if (!unix.empty() && why.empty()) rows.push_back({"q:\\", 0});
  for (const Row& row : rows) {
    const Listed listed = List(row.path);
    EXPECT_TRUE(listed.files.empty()) << row.path;
    ASSERT_EQ(listed.dirs.size(), row.dirs) << row.path;
    if (row.dirs == 1) {
      EXPECT_EQ(Lower(listed.dirs[0]), Lower(row.path) + "\\temp");
    }
  }
  if (unix.empty()) GTEST_SKIP() << "not under Wine: no Unix path nor drive link to the folder";
  if (!why.empty()) GTEST_SKIP() << "no drive letter for the folder: " << why;
}

TEST_F(WinKeptOutTest, ManagedTreesGoInAnyCaseAndOnlyIdentityKeepsASystemFolderOut) {
  WinTempTree tree;
  const std::vector<std::string> managed = {".git",          ".HG",           ".svn",        ".Bzr",
                                            "Site-Packages", "dist-packages", "NODE_MODULES"};
  // Names near the managed ones, and the names of the system's folders
  // elsewhere, are the user's.
  const std::vector<std::string> kept = {"git",           ".github",     "node_modules2", "windows",
                                         "Program Files", "ProgramData", "temp"};
  for (const std::vector<std::string>* names : {&managed, &kept}) {
    for (const std::string& name : *names) tree.Dir(name);
  }
  tree.File("windows\\x.tmp");
  tree.File(".git\\index.lock");
  std::vector<std::string> want;
  for (const std::string& name : kept) want.push_back(tree.Path(name));
  std::vector<std::string> got = List(tree.Root()).dirs;
  std::sort(want.begin(), want.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, want);
  EXPECT_EQ(List(tree.Path("windows")).files,
            std::vector<std::string>{tree.Path("windows\\x.tmp")});
  // A toolchain's store is told by its parents' names too, in any case.
  for (const char* dir : {"Go", "Go\\PKG", "Go\\PKG\\Mod"}) tree.Dir(dir);
  tree.Dir("Go\\PKG\\Model");
  EXPECT_EQ(List(tree.Path("Go\\PKG")).dirs, std::vector<std::string>{tree.Path("Go\\PKG\\Model")});
}

}  // namespace
}  // namespace tidwen

// The scan of this machine's real root filesystem as drive c:, through the
// real platform and the real drive table. It must finish, stay on the
// root filesystem, list nothing of the system's own trees (under /usr, where
// GNU find finds plenty of junk by the same rules), and list exactly the
// junk of a tree of its own.
//
// The test takes a while (the whole root filesystem is walked); its name
// says so.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "linux_test_support.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/system_trees.h"
#include "model/plain_controls.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"
#include "support/temp_tree.h"

namespace tidwen {
namespace {

// A scan shows no message box; one that comes fails the test.
class NoMessageBox : public MessageBoxService {
 public:
  int MsgBox(std::string_view text, MsgBoxButtons, MsgBoxIcon, std::string_view) override {
    ADD_FAILURE() << "a message box was shown: " << text;
    return kMsgBoxNo;
  }
};

struct CommandOutput {
  bool ran = false;
  int status = -1;
  std::string out;
};

// Runs argv[0] from PATH with these arguments and gathers its standard output.
CommandOutput Run(const std::vector<std::string>& argv) {
  CommandOutput result;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return result;
  const pid_t pid = ::fork();
  if (pid < 0) return result;
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) ::dup2(devNull, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  const int status = test::CollectChild(pid, fds[0], result.out);
  result.ran = WIFEXITED(status) && WEXITSTATUS(status) != 127;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The junk under /usr as GNU find sees it with the scan's rules: regular
// files not hidden and without "\" in the name, that end in a suffix as
// listed or in upper case and are not empty, or that are empty. Directories
// whose name holds "\" are not walked, hidden ones are. A non-empty name
// ending ".$$$" matches two types and counts twice. Sorted POSIX paths.
std::vector<std::string> FindJunkUnderUsr(std::string* error) {
  std::vector<std::string> args = {"find",  "/usr", "-xdev", "(",     "-type", "d", "-name",
                                   "*\\\\*", "-prune", ")",    "-o",    "(",     "-type", "f",
                                   "!",     "-name", ".*",    "!",     "-name", "*\\\\*", "(",
                                   "-empty", "-o",   "(",     "!",     "-empty", "("};
  bool first = true;
  for (int i = 0; i < kZeroLengthType; ++i) {
    const std::string suffix(kJunkTypes[i].suffix);
    std::string upper = suffix;
    for (char& c : upper) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    for (const std::string& form : upper == suffix ? std::vector<std::string>{suffix}
                                                   : std::vector<std::string>{suffix, upper}) {
      if (!first) args.push_back("-o");
      first = false;
      args.insert(args.end(), {"-name", "*" + form});
    }
  }
  // Size, a space, the path, NUL: the size tells an empty ".$$$" apart.
  args.insert(args.end(), {")", ")", ")", "-printf", "%s %p\\0", ")"});
  const CommandOutput found = Run(args);
  if (!found.ran) {
    *error = "find could not be run";
    return {};
  }
  if (found.status != 0) *error = "find reported errors (status " + std::to_string(found.status) + ")";
  std::vector<std::string> paths;
  for (std::size_t at = 0; at < found.out.size();) {
    const std::size_t end = found.out.find('\0', at);
    if (end == std::string::npos) break;
    const std::string record = found.out.substr(at, end - at);
    at = end + 1;
    const std::size_t space = record.find(' ');
    const std::string path = record.substr(space + 1);
    paths.push_back(path);
    const bool empty = record.compare(0, space, "0") == 0;
    if (!empty && path.size() >= 4 && path.compare(path.size() - 4, 4, ".$$$") == 0) {
      paths.push_back(path);
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// "c:\usr\x" -> "/usr/x".
std::string PosixOf(std::string_view drivePath) {
  std::string posix = "/";
  posix.append(drivePath.substr(3));
  std::replace(posix.begin(), posix.end(), '\\', '/');
  return posix;
}

// What one multiset has that the other lacks, a few of each.
std::string Differences(const std::vector<std::string>& scan, const std::vector<std::string>& find) {
  std::vector<std::string> onlyScan;
  std::vector<std::string> onlyFind;
  std::set_difference(scan.begin(), scan.end(), find.begin(), find.end(),
                      std::back_inserter(onlyScan));
  std::set_difference(find.begin(), find.end(), scan.begin(), scan.end(),
                      std::back_inserter(onlyFind));
  std::string text = std::to_string(onlyScan.size()) + " only in the scan, " +
                     std::to_string(onlyFind.size()) + " only in find:";
  for (std::size_t i = 0; i < std::min<std::size_t>(onlyScan.size(), 10); ++i) {
    text += "\n  scan: " + onlyScan[i];
  }
  for (std::size_t i = 0; i < std::min<std::size_t>(onlyFind.size(), 10); ++i) {
    text += "\n  find: " + onlyFind[i];
  }
  return text;
}

bool IsMountRoot(const std::string& path) {
  struct statx stx {};
  return ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, 0, &stx) == 0 &&
         (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
         (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

TEST(HardeningRealMachine, SlowScanOfTheWholeRootFilesystemStaysOnItAndLeavesTheSystemAlone) {
  struct stat usr {};
  if (::stat("/usr", &usr) != 0 || !S_ISDIR(usr.st_mode)) GTEST_SKIP() << "this machine has no /usr";
  struct stat root {};
  ASSERT_EQ(::stat("/", &root), 0);
  if (usr.st_dev != root.st_dev) {
    GTEST_SKIP() << "/usr is a filesystem of its own here, so a scan of c: does not reach it";
  }

  std::string findError;
  const std::vector<std::string> findUsr = FindJunkUnderUsr(&findError);
  if (findError == "find could not be run") GTEST_SKIP() << "GNU find is not installed";
  // A tree of the test's own, where it knows every hit.
  test::TempTree own;
  own.MakeFiles({"a.tmp", "sub/b.BAK", "sub/.hidden.tmp", "sub/keep.txt", "x.$$$"}, "data");
  own.MakeFile("sub/empty.log");
  struct stat ownStat {};
  ASSERT_EQ(::stat(own.Root().c_str(), &ownStat), 0);
  const bool ownOnRoot = ownStat.st_dev == root.st_dev && !InSystemTree(own.Root());

  DriveTable drives = DriveTable::FromSystem();
  ASSERT_NE(drives.Find('c'), nullptr);
  ASSERT_EQ(drives.Find('c')->mountPoint, "/");
  LinuxPlatform platform(std::move(drives));
  PlainListControl list1;
  PlainListControl list2;
  PlainListControl list3;
  PlainLabel label1;
  PlainDriveList drive1("c:");
  NoMessageBox messageBox;
  Form1Context form =
      MakeForm1Context({list1, list2, list3, label1, drive1}, platform.Services(), messageBox);
  Form_Load(form);

  const auto start = std::chrono::steady_clock::now();
  Command1_Click(form);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const std::vector<std::string> findAfter = FindJunkUnderUsr(&findError);
  EXPECT_EQ(findError, "");

  EXPECT_EQ(label1.Caption(), "共找到 " + std::to_string(list1.ListCount()) + "个垃圾文件");
  std::cout << "scan of / took " << seconds << " s: " << list1.ListCount() << " entries, "
            << list3.ListCount() << " directories\n";
  RecordProperty("scan_seconds", std::to_string(seconds));
  RecordProperty("entries", std::to_string(list1.ListCount()));
  RecordProperty("directories", std::to_string(list3.ListCount()));

  // Nothing listed or walked lies on another filesystem: not in /proc, /sys,
  // /dev or /run where those are mounted, nor anywhere else. Files that are
  // gone since (the machine is busy) cannot be checked.
  std::vector<std::string> systemMounts;
  for (const char* dir : {"/proc", "/sys", "/dev", "/run"}) {
    if (IsMountRoot(dir)) systemMounts.push_back(std::string(dir) + "/");
  }
  std::vector<std::string> systemHits;
  std::vector<std::string> ownHits;
  int offDrive = 0;
  for (std::int64_t i = 0; i < list1.ListCount(); ++i) {
    const std::string_view entry = list1.List(i);
    ASSERT_EQ(entry.substr(0, 3), "c:\\") << entry;
    const std::string posix = PosixOf(entry);
    for (const std::string& mounted : systemMounts) {
      EXPECT_NE(posix.rfind(mounted, 0), 0u) << "listed inside a system mount: " << posix;
    }
    struct stat st {};
    if (::lstat(posix.c_str(), &st) == 0 && st.st_dev != root.st_dev && ++offDrive <= 10) {
      ADD_FAILURE() << "listed from another filesystem: " << posix;
    }
    if (InSystemTree(posix)) systemHits.push_back(posix);
    if (posix.rfind(own.Root() + "/", 0) == 0) ownHits.push_back(posix.substr(own.Root().size()));
  }
  for (std::int64_t i = 0; i < list3.ListCount(); ++i) {
    const std::string posix = PosixOf(list3.List(i));
    EXPECT_FALSE(InSystemTree(posix)) << "walked a system tree: " << posix;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) != 0) continue;
    EXPECT_EQ(st.st_dev, root.st_dev) << "walked another filesystem: " << posix;
    EXPECT_FALSE(IsMountRoot(posix)) << "walked into a mount: " << posix;
    for (const std::string& mounted : systemMounts) {
      EXPECT_NE((posix + "/").rfind(mounted, 0), 0u) << "walked a system mount: " << posix;
    }
  }

  std::cout << findUsr.size() << " junk files under /usr by find, " << systemHits.size()
            << " listed from the system's trees\n";
  EXPECT_FALSE(findUsr.empty()) << "find found no junk under /usr at all";
  EXPECT_TRUE(systemHits.empty()) << Differences(systemHits, {});
  if (!ownOnRoot) GTEST_SKIP() << "the temporary directory is not on the root filesystem here";
  std::sort(ownHits.begin(), ownHits.end());
  EXPECT_EQ(ownHits, (std::vector<std::string>{"/a.tmp", "/sub/b.BAK", "/sub/empty.log",
                                               "/x.$$$", "/x.$$$"}));
}

}  // namespace
}  // namespace tidwen

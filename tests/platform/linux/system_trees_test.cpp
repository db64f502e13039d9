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
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fault_support.h"
#include "linux_test_support.h"
#include "model/plain_controls.h"
#include "mount_support.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/system_trees.h"
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
  std::vector<std::string> args = {"find",   "/usr",   "-xdev", "(",  "-type",  "d",      "-name",
                                   "*\\\\*", "-prune", ")",     "-o", "(",      "-type",  "f",
                                   "!",      "-name",  ".*",    "!",  "-name",  "*\\\\*", "(",
                                   "-empty", "-o",     "(",     "!",  "-empty", "("};
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
  if (found.status != 0)
    *error = "find reported errors (status " + std::to_string(found.status) + ")";
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
std::string Differences(const std::vector<std::string>& scan,
                        const std::vector<std::string>& find) {
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

TEST(HardeningRealMachine, SlowScanOfTheWholeRootFilesystemStaysOnItAndLeavesTheSystemAlone) {
  struct stat usr {};
  if (::stat("/usr", &usr) != 0 || !S_ISDIR(usr.st_mode))
    GTEST_SKIP() << "this machine has no /usr";
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
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

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
    if (test::IsMountRoot(dir)) systemMounts.push_back(std::string(dir) + "/");
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
    // A tree with a passage (/var) is walked as the way to it alone.
    EXPECT_FALSE(InSystemTree(posix) && PassageAt(posix).empty())
        << "walked a system tree: " << posix;
    struct stat st {};
    if (::lstat(posix.c_str(), &st) != 0) continue;
    EXPECT_EQ(st.st_dev, root.st_dev) << "walked another filesystem: " << posix;
    EXPECT_FALSE(test::IsMountRoot(posix)) << "walked into a mount: " << posix;
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
  EXPECT_EQ(ownHits, (std::vector<std::string>{"/a.tmp", "/sub/b.BAK", "/sub/empty.log", "/x.$$$",
                                               "/x.$$$"}));
}

}  // namespace

namespace test {
namespace {

// The system's trees are known by what they are, not by what they are called
// here: in a child whose root is an ext4 image laid out like a system, "/"
// is bound at /mnt/rootbind, /usr at /srv/usrview and /usr/share at
// /srv/shareview. Only "/" and /mnt/rootbind get letters; neither scan, with
// or without reading ahead, lists a file of /usr or /etc, nor of the trees
// that a package manager or version-control system keeps; deleting all that
// is listed leaves them whole.
TEST(LinuxSystemTrees, BindMountsReachNothingOfTheSystemNorOfManagedTrees) {
  TempTree tree;
  tree.MakeDir("root");
  const std::vector<std::string> kept = {"usr/lib/a.tmp",
                                         "usr/share/x/__init__.py",
                                         "etc/b.bak",
                                         "etc/empty.conf",
                                         "var/lib/c.old",
                                         "home/u/proj/.git/index.lock",
                                         "home/u/proj/.git/objects/d.bak",
                                         "home/u/venv/lib/python3/site-packages/pkg/__init__.py",
                                         "home/u/venv/lib/python3/site-packages/pkg/py.typed",
                                         "home/u/web/node_modules/m/e.tmp",
                                         "home/u/.hg/f.tmp",
                                         "home/u/.svn/g.tmp",
                                         "home/u/.bzr/h.tmp",
                                         "usr/lib/python3/dist-packages/k.tmp",
                                         "home/u/go/pkg/mod/m@v1/l.tmp",
                                         "home/u/.cargo/registry/cache/m.bak",
                                         "home/u/conda/lib/python3.11/n.old",
                                         "home/u/pkg/__init__.py",
                                         "var/log/wtmp",
                                         "var/backups/dpkg.status.bak",
                                         "var/cache/apt/archives/lock",
                                         "var/tmp.bak"};
  const auto setup = [&]() -> std::string {
    std::string error = PrivateMounts();
    if (error.empty()) error = MountExt4(tree.Path("root.img"), tree.Path("root"));
    if (!error.empty()) return error;
    for (const std::string& name : kept) tree.MakeFile("root/" + name);
    tree.MakeFile("root/home/u/f.tmp", "1");
    tree.MakeFile("root/home/u/keep/empty.log");
    tree.MakeFile("root/var/tmp/t.tmp", "1");
    for (const char* dir :
         {"root/mnt/rootbind", "root/srv/usrview", "root/srv/shareview", "root/proc"}) {
      tree.MakeDir(dir);
    }
    error = BindMount(tree.Path("root"), tree.Path("root/mnt/rootbind"));
    if (error.empty()) error = BindMount(tree.Path("root/usr"), tree.Path("root/srv/usrview"));
    if (error.empty())
      error = BindMount(tree.Path("root/usr/share"), tree.Path("root/srv/shareview"));
    if (!error.empty()) return error;
    if (::mount("proc", tree.Path("root/proc").c_str(), "proc", 0, nullptr) != 0) {
      return Errno("cannot mount /proc");
    }
    if (::chroot(tree.Path("root").c_str()) != 0 || ::chdir("/") != 0) return Errno("chroot");
    return {};
  };
  const auto check = [&]() -> std::string {
    const SystemTrees trees = SystemTrees::Record();
    const DriveTable drives = DriveTable::FromSystem(trees);
    std::vector<std::string> lettered;
    for (const Drive& d : drives.Drives()) {
      lettered.push_back(DriveListText(d));
    }
    if (lettered != std::vector<std::string>{"c: [/]", "d: [/mnt/rootbind]"}) {
      return "lettered " + Join(lettered);
    }
    for (const char drive : {'c', 'd'}) {
      for (const bool readAhead : {false, true}) {
        const std::string root = std::string(1, drive) + ":\\";
        RealSysCalls real;
        RealForm form(drives, root, real);
        if (readAhead) form.platform.SetReadAhead(2);
        ScanAndSelectAll(form);
        if (form.Results() != std::vector<std::string>{root + "home\\u\\f.tmp",
                                                       root + "var\\tmp\\t.tmp",
                                                       root + "home\\u\\keep\\empty.log"}) {
          return root + (readAhead ? " read ahead" : "") + " listed " + Join(form.Results());
        }
        DeleteConfirmed(form);
        if (!form.Results().empty()) return root + " kept " + Join(form.Results());
        // The user's junk again, for the next scan; the root is "/" now.
        for (const auto& [junk, bytes] :
             {std::pair{"/home/u/f.tmp", "1"}, std::pair{"/home/u/keep/empty.log", ""},
              std::pair{"/var/tmp/t.tmp", "1"}}) {
          const int fd = ::open(junk, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
          const auto size = static_cast<ssize_t>(std::strlen(bytes));
          if (fd < 0 || ::write(fd, bytes, static_cast<std::size_t>(size)) != size)
            return Errno(junk);
          ::close(fd);
        }
      }
    }
    for (const std::string& name : kept) {
      if (::access(("/" + name).c_str(), F_OK) != 0) return name + " was deleted";
    }
    // The directory the program starts in does not lead there either.
    LinuxPlatform platform(drives, trees);
    if (platform.DrivePathOf("/mnt/rootbind/usr/lib")) return "a start in /usr through the bind";
    if (platform.DrivePathOf("/mnt/rootbind/home/u") != "d:\\home\\u") return "no start in home";
    return {};
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

}  // namespace
}  // namespace test
}  // namespace tidwen

// A system out of descriptors, on real filesystems in a private mount
// namespace: a scan that cannot open directories says so once (67) instead
// of ending on a count that looks like a clean drive, a deletion says 67
// where a failed look at the file made it look changed (70), and the drives
// are not taken for gone when their mounts cannot be looked at.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fault_support.h"
#include "mount_support.h"

namespace tidwen::test {
namespace {

// Leaves the process exactly `fresh` descriptors to open: every lower
// number is taken by /dev/null, and the soft limit stops right above.
// Restores everything when it goes.
class DescriptorShortage {
 public:
  explicit DescriptorShortage(int fresh) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    int highest = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
      while (const dirent* entry = ::readdir(dir))
        highest = std::max(highest, std::atoi(entry->d_name));
      ::closedir(dir);
    }
    int fd;
    do {
      fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (fd >= 0) fillers_.push_back(fd);
    } while (fd >= 0 && fd <= highest);
    rlimit limit = saved_;
    limit.rlim_cur = static_cast<rlim_t>(fd + 1 + fresh);
    ok_ = fd >= 0 && ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
  }
  ~DescriptorShortage() {
    ::setrlimit(RLIMIT_NOFILE, &saved_);
    for (const int fd : fillers_) ::close(fd);
  }
  DescriptorShortage(const DescriptorShortage&) = delete;
  DescriptorShortage& operator=(const DescriptorShortage&) = delete;
  bool Ok() const { return ok_; }

 private:
  rlimit saved_{};
  std::vector<int> fillers_;
  bool ok_ = false;
};

TEST(LinuxErrorNumbers, OutOfDescriptorsIsSaidOnceByAScanAnd67ByADeletion) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers check memory through a pipe of their own, which a process "
                  "without spare descriptors cannot make";
#endif
  TempTree tree;
  tree.MakeDir("birth");
  tree.MakeDir("coarse");
  const auto setup = [&]() -> std::string {
    std::string error = PrivateMounts();
    // Birth times stamp files without opening them; without them (128-byte
    // inodes) the stamp reads the generation from an open file.
    if (error.empty()) error = MountExt4(tree.Path("birth.img"), tree.Path("birth"));
    if (error.empty()) error = MountExt4(tree.Path("coarse.img"), tree.Path("coarse"), 128);
    if (!error.empty()) return error;
    for (const char* disk : {"birth", "coarse"}) {
      const std::string d(disk);
      tree.MakeFiles({d + "/a.tmp", d + "/d1/b.tmp", d + "/d2/c.tmp"}, "1");
    }
    return {};
  };
  const auto check = [&]() -> std::string {
    TriggerSysCalls sys;
    // The root can be read; no directory below it can be opened beside it.
    RealForm scan(DriveTable({Drive{'c', tree.Path("birth"), ""}}), "c:", sys);
    {
      const DescriptorShortage shortage(2);
      if (!shortage.Ok()) return "cannot limit the descriptors";
      Command1_Click(scan.context);
    }
    if (scan.BoxTexts() != std::vector<std::string>{"发生错误67"}) {
      return "scan boxes " + Join(scan.BoxTexts());
    }
    if (scan.Results() != std::vector<std::string>{"c:\\a.tmp"} ||
        scan.Label1.Caption() != "共找到 1个垃圾文件") {
      return "scan ended on " + scan.Label1.Caption() + " with " + Join(scan.Results());
    }

    RealForm clean(DriveTable({Drive{'c', tree.Path("coarse"), ""}}), "c:", sys);
    ScanAndSelectAll(clean);
    if (clean.Results().size() != 3) return "listed " + Join(clean.Results());
    clean.platform.ReleaseHandles();
    {
      // Enough to reach each file's directory, not to open the file.
      const DescriptorShortage shortage(2);
      if (!shortage.Ok()) return "cannot limit the descriptors";
      DeleteConfirmed(clean);
    }
    // One box, and the batch stops: every file after would fail the same way.
    if (FailureBoxes(clean) != std::vector<std::string>{"发生错误67"}) {
      return "deletion boxes " + Join(FailureBoxes(clean));
    }
    for (const char* name : {"coarse/a.tmp", "coarse/d1/b.tmp", "coarse/d2/c.tmp"}) {
      if (!tree.Exists(name)) return std::string(name) + " was deleted";
    }

    // The drives cannot be looked at: they are not gone for that.
    LinuxPlatform platform(DriveTable::FromSystem());
    platform.SetDriveSource(
        [](const DriveTable& previous) { return DriveTable::FromSystem(&previous); });
    const std::vector<DriveInfo> drives = platform.Drives();
    if (drives.size() < 3) return "the images got no letters";
    {
      const DescriptorShortage shortage(0);
      if (!shortage.Ok()) return "cannot limit the descriptors";
      if (platform.RefreshDrives()) return "a refresh without descriptors changed the drives";
    }
    if (platform.Drives() != drives) return "the drives changed";
    return {};
  };
  const ChildResult result = RunInChild(setup, check);
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

}  // namespace
}  // namespace tidwen::test

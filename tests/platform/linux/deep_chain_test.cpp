// The chain any local user can plant: 4,096 directories deep, each named
// with 255 bytes, a junk file at every level. The scan finds every hit,
// whole paths a megabyte long included. (What it costs in memory is the
// benchmark's to measure: make bench.)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "memory_platform.h"
#include "model/plain_controls.h"
#include "platform/linux/linux_platform.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"
#include "support/temp_tree.h"

namespace tidwen::test {
namespace {

constexpr int kDepth = 4096;
const std::string kName(255, 'd');

// Makes the chain below root, one directory open at a time (its paths are
// far beyond PATH_MAX), and removes it again the same way.
class Chain {
 public:
  explicit Chain(const std::string& root) : root_(root) {
    int fd = ::open(root.c_str(), O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < kDepth && fd >= 0; ++level) {
      const int file = ::openat(fd, "x.tmp", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      made_ = file >= 0 && ::write(file, "j", 1) == 1 && made_;
      if (file >= 0) ::close(file);
      made_ = ::mkdirat(fd, kName.c_str(), 0755) == 0 && made_;
      const int next = ::openat(fd, kName.c_str(), O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = next;
    }
    made_ = fd >= 0 && made_;
    if (fd >= 0) ::close(fd);
  }
  ~Chain() {
    int fd = ::open(root_.c_str(), O_DIRECTORY | O_CLOEXEC);
    int depth = 0;
    // Down to the deepest level there is, then up, removing on the way.
    while (fd >= 0) {
      const int next = ::openat(fd, kName.c_str(), O_DIRECTORY | O_CLOEXEC);
      if (next < 0) break;
      ::close(fd);
      fd = next;
      ++depth;
    }
    for (; fd >= 0; --depth) {
      ::unlinkat(fd, "x.tmp", 0);
      if (depth == 0) break;
      const int parent = ::openat(fd, "..", O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = parent;
      if (fd >= 0) ::unlinkat(fd, kName.c_str(), AT_REMOVEDIR);
    }
    if (fd >= 0) ::close(fd);
  }
  bool Made() const { return made_; }

 private:
  std::string root_;
  bool made_ = true;
};

TEST(DeepChain, EveryHitIsFound) {
  TempTree tree;
  const Chain chain(tree.Root());
  ASSERT_TRUE(chain.Made()) << std::strerror(errno);
  // The walk alone: reading ahead would only make the test longer.
  LinuxPlatform platform(DriveTable({Drive{'c', tree.Root(), ""}}));
  platform.SetReadAhead(0);
  // Plain lists, compact as the windows' (a recording list would keep every
  // whole path it is given, gigabytes of them).
  PlainListControl list1, list2, list3;
  PlainLabel label1;
  PlainDriveList drive1("c:");
  ScriptedMessageBox box;
  Form1Context form =
      MakeForm1Context({list1, list2, list3, label1, drive1}, platform.Services(), box);
  Form_Load(form);
  Command1_Click(form);
  platform.ReleaseHandles();
  ASSERT_EQ(list1.ListCount(), kDepth);
  EXPECT_EQ(list3.ListCount(), kDepth);
  EXPECT_EQ(label1.Caption(), "共找到 4096个垃圾文件");
  EXPECT_TRUE(box.boxes.empty());
  std::string path = "c:\\";
  for (std::int64_t level = 0; level < kDepth; ++level) {
    ASSERT_EQ(list1.List(level), path + "x.tmp") << level;
    path += kName + "\\";
  }
}

}  // namespace
}  // namespace tidwen::test

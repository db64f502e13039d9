// tidwen-ntfs-image DIR: makes the NTFS image that the Windows build's
// test under Wine scans by its Master File Table (DIR/ntfs.img), fills it
// with the tree of FillNtfsTree, and writes what the Linux walk of the
// mounted image finds (DIR/linux-walk.txt, one hit per line) and a copy of
// its files (DIR/copy) for Wine's drive t:, whose root and first
// directory the scan reads itself before it reads the volume. Runs in a
// mount namespace of its own. Exits 0, 77 when it cannot here (no root, no
// loop devices, no ntfs-3g), else 1.
#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>

#include <fstream>
#include <string>

#include "mount_support.h"
#include "ntfs_support.h"
#include "platform/linux/linux_platform.h"

int main(int argc, char** argv) {
  using namespace tidwen;
  if (argc != 2) {
    std::fprintf(stderr, "usage: tidwen-ntfs-image DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  test::NtfsImage image(dir);
  std::string error = test::PrivateMounts();
  if (error.empty()) error = image.Make({512, 4096}, 48);
  if (!error.empty()) {
    std::fprintf(stderr, "tidwen-ntfs-image: %s\n", error.c_str());
    return 77;
  }
  if (error = test::FillNtfsTree(image.MountPoint(), false); !error.empty()) {
    std::fprintf(stderr, "tidwen-ntfs-image: %s\n", error.c_str());
    return 1;
  }
  LinuxPlatform platform(DriveTable({Drive{'c', image.MountPoint(), ""}}));
  const test::NtfsScan walk = test::ScanNtfsDrive(platform, false);
  std::ofstream out(dir + "/linux-walk.txt", std::ios::binary);
  for (const std::string& hit : walk.hits) out << hit << '\n';
  if (::mkdir((dir + "/copy").c_str(), 0755) != 0) return 1;
  // cp fails on the links the mount shows but cannot read, which the copy
  // can do without: only the first directories are read through it.
  const std::string copy = "cp -a '" + image.MountPoint() + "/.' '" + dir + "/copy/' 2>/dev/null";
  [[maybe_unused]] const int copied = std::system(copy.c_str());
  image.Unmount();
  return out.good() ? 0 : 1;
}

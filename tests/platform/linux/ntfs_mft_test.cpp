// A scan of an NTFS drive by its Master File Table against the walk of the
// same drive through ntfs-3g, on real images of each sector and cluster
// size: the walk is the oracle. Everything runs in a child process with
// mounts of its own.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "linux_test_support.h"
#include "mount_support.h"
#include "ntfs_support.h"
#include "platform/linux/linux_platform.h"

namespace tidwen::test {
namespace {

// Every directory and file the listers show, breadth-first from c:'s root
// as a scan goes, each file with its length or the error measuring it gave.
std::vector<std::string> ListEverything(LinuxPlatform& platform) {
  std::vector<std::string> lines;
  std::deque<std::string> queue{"c:\\"};
  while (!queue.empty()) {
    const std::string dir = queue.front();
    queue.pop_front();
    try {
      platform.Dir1().SetPath(dir);
      platform.File1().SetPath(dir);
    } catch (const RuntimeError& e) {
      lines.push_back("unreadable " + dir + " " + std::to_string(e.Number()));
      continue;
    }
    for (std::int64_t i = 0; i < platform.Dir1().ListCount(); ++i) {
      queue.push_back(platform.Dir1().List(i));
      lines.push_back("D " + queue.back());
    }
    const std::string prefix = dir.back() == '\\' ? dir : dir + "\\";
    for (std::int64_t i = 0; i < platform.File1().ListCount(); ++i) {
      const std::string path = prefix + std::string(platform.File1().List(i));
      const int error = ErrorOf([&] {
        lines.push_back("F " + path + " " + std::to_string(platform.FileLength().FileLen(path)));
      });
      if (error != 0) lines.push_back("F " + path + " error " + std::to_string(error));
    }
  }
  platform.ReleaseHandles();
  return lines;
}

std::string FirstDifference(const std::vector<std::string>& walk,
                            const std::vector<std::string>& index) {
  for (std::size_t i = 0; i < std::max(walk.size(), index.size()); ++i) {
    const std::string w = i < walk.size() ? walk[i] : "(end)";
    const std::string x = i < index.size() ? index[i] : "(end)";
    if (w != x) return "line " + std::to_string(i) + ": the walk lists " + w + ", the index " + x;
  }
  return "";
}

// Tears the first stride of the MFT record that holds name, as a write cut
// short would: its fixup no longer matches.
std::string TearRecordOf(const std::string& image, std::string_view name) {
  std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const NtfsBoot boot = ParseBootSector(std::as_bytes(std::span(bytes.data(), kBootBytes)));
  std::string wide;
  for (const char c : name) wide += std::string{c, '\0'};
  for (std::size_t at = bytes.find(wide); at != std::string::npos; at = bytes.find(wide, at + 1)) {
    const std::size_t record = at / boot.recordSize * boot.recordSize;
    if (bytes.compare(record, 4, "FILE") != 0) continue;
    f.seekp(static_cast<std::streamoff>(record + 510));
    f.put(static_cast<char>(bytes[record + 510] ^ 0x5A));
    return f.good() ? "" : "cannot write the image";
  }
  return "no record holds the name";
}

class NtfsMftScan : public ::testing::TestWithParam<NtfsGeometry> {};

TEST_P(NtfsMftScan, ListsWhatTheWalkOfTheMountListsFromTheDeviceAndTheImage) {
  TempTree tree;
  NtfsImage image(tree.Root());
  const auto setup = [&] {
    std::string error = PrivateMounts();
    if (error.empty()) error = image.Make(GetParam(), 48);
    return error;
  };
  const ChildResult result = RunInChild(setup, [&]() -> std::string {
    const std::string mnt = image.MountPoint();
    if (std::string e = FillNtfsTree(mnt, false); !e.empty()) return e;
    // Another system's root on the drive keeps its system trees, /var but
    // for its tmp, from the index's listings as from the walk's.
    for (const char* f :
         {"usr/u.tmp", "etc/e.tmp", "var/tmp/v.tmp", "var/log/l.tmp", "home/h.tmp"}) {
      const std::filesystem::path path = mnt + "/chroot/" + f;
      std::filesystem::create_directories(path.parent_path());
      std::ofstream(path) << "x";
    }
    // Another file system mounted inside the drive is not entered.
    if (std::string e = MountTmpfs(mnt + "/other"); !e.empty()) return e;
    ::close(::open((mnt + "/other/beyond.tmp").c_str(), O_CREAT | O_WRONLY, 0644));

    LinuxPlatform platform(DriveTable({Drive{'c', mnt, ""}}));
    platform.SetVolumeIndex(false);
    const std::vector<std::string> walked = ListEverything(platform);
    platform.SetVolumeIndex(true);
    const std::vector<std::string> indexed = ListEverything(platform);
    if (platform.IndexedListings() < 40) {
      return "only " + std::to_string(platform.IndexedListings()) + " listings from the index";
    }
    if (std::string d = FirstDifference(walked, indexed); !d.empty()) return d;
    const auto lists = [&](const std::string& line) {
      return std::find(walked.begin(), walked.end(), line) != walked.end();
    };
    if (lists("D c:\\chroot\\usr") || lists("D c:\\chroot\\var\\log") ||
        !lists("D c:\\chroot\\var\\tmp") || !lists("D c:\\chroot\\home")) {
      return "another system's root on the drive was not kept as its own";
    }

    // The same hits, stamped alike, so that deletion checks them alike.
    const NtfsScan walk = ScanNtfsDrive(platform, false);
    const NtfsScan scan = ScanNtfsDrive(platform, true);
    if (scan.indexed == 0 || walk.indexed != 0) return "the scans did not go as asked";
    if (std::string d = FirstDifference(walk.hits, scan.hits); !d.empty()) return d;
    if (walk.stamps != scan.stamps) return "the index's stamps differ from the walk's";
    const auto object = platform.FileSystem().CreateFileSystemObject();
    object->GetFile(scan.hits.front(), scan.stamps.front())->Delete();

    // The device under the mount, and the image once unmounted, hold the
    // same index. The file was deleted while held open, and ntfs-3g removes
    // such a file when told of its release, after close returns: mounting
    // again lets that land before the device is read.
    ::umount2((mnt + "/other").c_str(), 0);
    if (std::string e = image.Unmount(); !e.empty()) return e;
    if (std::string e = image.Mount(); !e.empty()) return e;
    const std::string fromDevice = DumpMftIndex(image.Device(), {});
    image.Unmount();
    const std::string fromImage = DumpMftIndex(image.Image(), {});
    if (fromDevice.find("/streams/forty.bak #") == std::string::npos)
      return "device: " + fromDevice.substr(0, 200);
    if (fromDevice != fromImage) return "the device and the image give other indexes";
    // The tree made the cases it was made for: an MFT in pieces, and names
    // that only an attribute list leads to.
    unsigned runs = 0, extensionNames = 0;
    if (std::sscanf(fromImage.c_str(), "mft runs %u, extension names %u", &runs, &extensionNames) !=
            2 ||
        runs < 2 || extensionNames == 0) {
      return "not what the tree was made for: " + fromImage.substr(0, fromImage.find('\n'));
    }

    // A record torn by a write cut short: the scan walks instead.
    if (std::string e = TearRecordOf(image.Image(), "Zeta.tmp"); !e.empty()) return e;
    if (DumpMftIndex(image.Image(), {}) != "no index: a fixup that does not match") {
      return "the torn record went unnoticed";
    }
    if (std::string e = image.Mount(); !e.empty()) return e;
    const NtfsScan torn = ScanNtfsDrive(platform, true);
    const NtfsScan tornWalk = ScanNtfsDrive(platform, false);
    if (torn.indexed != 0 || torn.hits != tornWalk.hits) return "a torn record did not fall back";
    image.Unmount();
    return "";
  });
  if (result.skipped) GTEST_SKIP() << result.message;
  EXPECT_TRUE(result.ok) << result.message;
}

INSTANTIATE_TEST_SUITE_P(Geometries, NtfsMftScan,
                         ::testing::Values(NtfsGeometry{512, 4096}, NtfsGeometry{4096, 4096},
                                           NtfsGeometry{512, 65536}, NtfsGeometry{4096, 65536}),
                         [](const auto& info) {
                           return "Sector" + std::to_string(info.param.sector) + "Cluster" +
                                  std::to_string(info.param.cluster);
                         });

}  // namespace
}  // namespace tidwen::test

// Real NTFS drives for the tests of the Master File Table reader: images
// made with mkntfs, on loop devices of their sector size, mounted with
// ntfs-3g in the private mount namespace of a child process (see
// RunInChild and PrivateMounts), and the tree the tests fill them with.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include <vector>

#include "model/file_stamp.h"
#include "platform/ntfs/mft_reader.h"

namespace tidwen {
class LinuxPlatform;
}

namespace tidwen::test {

struct NtfsGeometry {
  int sector;
  int cluster;
};

// An image in dir (dir/ntfs.img), mounted at dir/mnt. ntfs-3g runs in the
// foreground as a child of this process and ends with it, and the loop
// device lets go of the image once nothing holds it: a failed test leaves no
// mount and no device behind.
class NtfsImage {
 public:
  explicit NtfsImage(std::string dir);
  ~NtfsImage();
  NtfsImage(const NtfsImage&) = delete;
  NtfsImage& operator=(const NtfsImage&) = delete;

  // Makes an image of megabytes with mkntfs and mounts it; returns "" or
  // why it cannot be made here (no root, no loop devices, no ntfs-3g).
  std::string Make(NtfsGeometry geometry, int megabytes);
  // Mounts the image again, on a loop device of its own; "" or why not.
  std::string Mount(bool readOnly = false);
  // Unmounts, and waits until ntfs-3g has written everything and ended.
  std::string Unmount();

  const std::string& Image() const { return image_; }
  const std::string& MountPoint() const { return mountPoint_; }
  // The loop device under the mount, while mounted.
  const std::string& Device() const { return device_; }

 private:
  std::string image_;
  std::string mountPoint_;
  std::string device_;
  int sector_ = 512;
  pid_t daemon_ = -1;
};

// Fills a mounted NTFS drive with what a scan of it must list as its walk
// does: every junk type, empty files, hidden and system files and what
// ntfs-3g shows of them as FIFOs, sockets and links, hard links within and
// across directories, named streams, compressed and sparse files,
// junctions and symbolic links of Windows, long names, names beyond the
// BMP and with "\", a DOS name, trees never offered, a deep tree, a
// directory of thousands of names, files whose names or streams need an
// attribute list, and enough files, made on a volume filled and then freed
// in stripes, that the MFT itself is fragmented. windowsFair leaves out
// what the two systems' walks list differently (hidden and system files,
// names starting with ".", links, names only case tells apart, names that
// Windows cannot hold), so that Windows' walk lists the same as Linux'.
// Returns "" or what failed.
std::string FillNtfsTree(const std::string& root, bool windowsFair);

// What a scan of c: with every junk type checked found.
struct NtfsScan {
  std::vector<std::string> hits;
  std::vector<FileStamp> stamps;
  std::int64_t indexed = 0;  // listings it took from an index
};
// Scans the platform's drive c:, by its volume's index when index is set
// and the volume can be read so, else by walking it.
NtfsScan ScanNtfsDrive(LinuxPlatform& platform, bool index);

// The index of the volume in the file or device at path: everything it
// holds, directory by directory, as text; or why there is none.
std::string DumpMftIndex(const std::string& path, const MftReadOptions& options);

}  // namespace tidwen::test

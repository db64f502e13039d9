// What the tests of the Master File Table reader do on real NTFS drives
// (ntfs_image.h): the tree they fill them with, the scan they compare, and
// the index as text.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include <vector>

#include "model/file_stamp.h"
#include "ntfs_image.h"
#include "platform/ntfs/mft_reader.h"

namespace tidwen {
class LinuxPlatform;
}

namespace tidwen::test {

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

// The index of the volume in the file or device at path: how many runs its
// MFT has and how many names extension records hold, then everything it
// lists, directory by directory, as text; or why there is none.
std::string DumpMftIndex(const std::string& path, const MftReadOptions& options);

}  // namespace tidwen::test

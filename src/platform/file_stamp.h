// Which file a path named when it was looked at: lets a later deletion make
// sure that the file at the path is still the one the user saw.
#pragma once

#include <cstdint>

namespace tidwen {

struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  // The file was empty when it was looked at.
  bool empty = false;
  // False for a stamp that records nothing; such a stamp checks nothing.
  bool known = false;
  // A digest of the time of the file's last status change. It tells apart
  // two files that held one inode number one after the other (a file
  // deleted and another made under its name), and marks the same file
  // changed since: written, renamed, its mode or its links changed.
  // 0 records nothing and checks nothing.
  std::uint32_t change = 0;

  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

}  // namespace tidwen

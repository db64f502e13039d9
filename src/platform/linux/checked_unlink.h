// Removing a file's name only while it still leads to the file that was
// checked. unlinkat(2) removes whatever a name leads to when it runs: a
// program that saves by renaming a new file over the name, between the
// check and the unlink, would have its new content deleted. So the name is
// first moved aside, and only what was moved is looked at and removed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/sys_calls.h"

namespace tidwen {

// The file a name must still lead to.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// Fresh hidden names (".tidwen-" and 16 hex digits) for moving a file
// aside in its own directory. Hidden, so that no scan lists one; random,
// so that no other program meets one by chance.
class AsideNames {
 public:
  AsideNames();
  std::string Next();

 private:
  std::uint64_t state_;
};

// Removes name from the directory dirFd if, and only if, it is the file
// `file`. The name is renamed to a fresh hidden name in the same directory
// (renameat2 with RENAME_NOREPLACE; where the filesystem lacks that flag,
// a plain rename onto a name that was looked at and found free just
// before), the entry under the new name is looked at, and it is unlinked
// only if it is the file. Any other file is put back under its name, never
// over an entry that took the name meanwhile (RENAME_NOREPLACE, else a hard
// link, else a plain rename onto the name found free just before); if the
// name was taken again, both are kept, the other file under the hidden
// name. Never an unlink of an unchecked name.
//
// Throws RuntimeError with path: 70 when the name led to another file by
// the time it was moved (the user's new file is left whole), or when the
// filesystem refuses to move the file; 53 when there is no file under the
// name any more; otherwise as for unlinkat (DeleteErrorNumber).
void UnlinkChecked(SysCalls& sys, int dirFd, const std::string& name, FileIdentity file,
                   AsideNames& names, std::string_view path);

}  // namespace tidwen

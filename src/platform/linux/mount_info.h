// Reading the kernel's mount table (/proc/self/mountinfo) and telling which
// mount a directory open on a mount point is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/sys_calls.h"

namespace tidwen {

// One line of a mountinfo text.
struct MountEntry {
  std::string mountPoint;
  std::string root;  // the directory of the filesystem mounted there: "/" for its root
  std::string fsType;
  std::string source;
  std::uint64_t id = 0;      // the mount ID, as STATX_MNT_ID gives it
  std::uint64_t device = 0;  // of the mounted filesystem, as the table says
  // The filesystem's options as the table gives them, escapes and all
  // ("rw,lowerdir=/usr,upperdir=...").
  std::string superOptions;
};

// The entries of a mountinfo text in table order; malformed lines are
// skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The text of /proc/self/mountinfo: 0, or the errno of a failed read.
int ReadOwnMountInfo(std::string& text);

// A field of mountinfo with its "\ooo" escapes of space, tab, newline and
// backslash decoded.
std::string DecodeOctalEscapes(std::string_view field);

// Which mount, filesystem and directory a directory open at some fd is.
struct MountIdentity {
  // The mount ID of STATX_MNT_ID: the one mountinfo gives, reused for
  // another mount once this one is gone.
  std::uint64_t mountId = 0;
  // STATX_MNT_ID_UNIQUE (Linux 6.8): never reused while the system runs.
  // 0 where the kernel lacks it.
  std::uint64_t uniqueMountId = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  // The filesystem's own identity (SysCalls::FileSystemId).
  std::uint64_t filesystem = 0;
  bool directory = false;
  // Whether the directory is the root of its mount, where the kernel says.
  bool mountRootKnown = false;
  bool mountRoot = false;
  // Whether the directory it is mounted in is a system's root (holds usr
  // and etc directories of its own: see kSystemRootMarks). Only the drive
  // table's probe looks.
  bool inSystemRoot = false;
};

// Reads the identity of the directory open at fd (O_PATH will do); the
// filesystem's own identity only when withFilesystem is set, since asking
// it of a network filesystem would wait for its server. Returns 0, or the
// negated errno of a failed look (-EMFILE when the system has no
// descriptor to spare for it).
int ReadMountIdentity(SysCalls& sys, int fd, bool withFilesystem, MountIdentity& identity);

}  // namespace tidwen

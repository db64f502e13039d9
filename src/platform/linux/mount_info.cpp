#include "platform/linux/mount_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace tidwen {

namespace {

#ifndef STATX_MNT_ID_UNIQUE
constexpr unsigned STATX_MNT_ID_UNIQUE = 0x4000U;  // Linux 6.8
#endif

}  // namespace

std::string DecodeOctalEscapes(std::string_view field) {
  const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
        isOctal(field[i + 2]) && isOctal(field[i + 3])) {
      out.push_back(static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                      (field[i + 3] - '0')));
      i += 3;
      continue;
    }
    out.push_back(field[i]);
  }
  return out;
}

namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// A decimal number, or nullopt.
std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> entries;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    // id parent major:minor root mountpoint options [optional...] - type source superoptions
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 10) continue;
    const auto dash = std::find(fields.begin() + 6, fields.end(), std::string_view("-"));
    if (dash == fields.end() || fields.end() - dash < 3) continue;
    const std::size_t colon = fields[2].find(':');
    const std::optional<std::uint64_t> id = ParseNumber(fields[0]);
    const std::optional<std::uint64_t> major = ParseNumber(fields[2].substr(0, colon));
    const std::optional<std::uint64_t> minor =
        colon == std::string_view::npos ? std::nullopt : ParseNumber(fields[2].substr(colon + 1));
    if (!id || !major || !minor) continue;
    MountEntry e{DecodeOctalEscapes(fields[4]),
                 DecodeOctalEscapes(fields[3]),
                 DecodeOctalEscapes(dash[1]),
                 DecodeOctalEscapes(dash[2]),
                 *id,
                 makedev(static_cast<unsigned>(*major), static_cast<unsigned>(*minor)),
                 {}};
    if (e.mountPoint.empty() || e.mountPoint.front() != '/') continue;
    if (fields.end() - dash >= 4) e.superOptions.assign(dash[3]);
    entries.push_back(std::move(e));
  }
  return entries;
}

int ReadOwnMountInfo(std::string& text) {
  const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  text.clear();
  char buffer[16384];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<std::size_t>(n));
  const int err = n < 0 ? errno : 0;
  ::close(fd);
  return err;
}

int ReadMountIdentity(SysCalls& sys, int fd, bool withFilesystem, MountIdentity& identity) {
  constexpr int kFlags = AT_EMPTY_PATH | AT_STATX_DONT_SYNC;
  struct statx stx {};
  int r = sys.StatX(fd, "", kFlags, STATX_TYPE | STATX_INO | STATX_MNT_ID, &stx);
  if (r < 0) return r;
  identity = MountIdentity{};
  identity.directory = S_ISDIR(stx.stx_mode);
  identity.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  identity.inode = stx.stx_ino;
  if ((stx.stx_mask & STATX_MNT_ID) != 0) identity.mountId = stx.stx_mnt_id;
  identity.mountRootKnown = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0;
  identity.mountRoot = (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  // The unique ID needs a call of its own: asked together, it replaces the
  // other.
  struct statx unique {};
  if (sys.StatX(fd, "", kFlags, STATX_MNT_ID_UNIQUE, &unique) == 0 &&
      (unique.stx_mask & STATX_MNT_ID_UNIQUE) != 0) {
    identity.uniqueMountId = unique.stx_mnt_id;
  }
  if (!withFilesystem) return 0;
  r = sys.FileSystemId(fd, &identity.filesystem);
  return r < 0 ? r : 0;
}

}  // namespace tidwen

#include "platform/windows/unix_mounts.h"

#include <array>
#include <charconv>

namespace tidwen {

namespace {

// Takes the next field of a line, up to a blank.
std::string_view NextField(std::string_view& line) {
  const std::size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    line = {};
    return {};
  }
  line.remove_prefix(start);
  const std::size_t end = line.find(' ');
  const std::string_view field = line.substr(0, end);
  line = end == std::string_view::npos ? std::string_view() : line.substr(end);
  return field;
}

bool ToNumber(std::string_view text, std::uint64_t& out) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

// Paths in mountinfo write a blank, a tab, a newline and a backslash as
// three octal digits after a backslash.
std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string_view digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string_view::npos) {
        out.push_back(
            static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::optional<UnixMount> ParseLine(std::string_view line) {
  UnixMount m;
  std::string_view device;
  if (!ToNumber(NextField(line), m.id) || !ToNumber(NextField(line), m.parent)) return {};
  device = NextField(line);
  const std::size_t colon = device.find(':');
  std::uint64_t major = 0;
  std::uint64_t minor = 0;
  if (colon == std::string_view::npos || !ToNumber(device.substr(0, colon), major) ||
      !ToNumber(device.substr(colon + 1), minor)) {
    return {};
  }
  m.device = major << 32 | minor;
  m.root = Unescape(NextField(line));
  m.point = Unescape(NextField(line));
  // Options, then optional fields up to "-", then the type.
  for (std::string_view field = NextField(line); field != "-"; field = NextField(line)) {
    if (field.empty()) return {};
  }
  m.type = std::string(NextField(line));
  if (m.root.empty() || m.root[0] != '/' || m.point.empty() || m.point[0] != '/' ||
      m.type.empty()) {
    return {};
  }
  return m;
}

}  // namespace

UnixMounts UnixMounts::Parse(std::string_view mountinfo) {
  UnixMounts table;
  while (!mountinfo.empty()) {
    const std::size_t end = mountinfo.find('\n');
    if (std::optional<UnixMount> m = ParseLine(mountinfo.substr(0, end))) {
      table.mounts_.push_back(std::move(*m));
    }
    mountinfo = end == std::string_view::npos ? std::string_view() : mountinfo.substr(end + 1);
  }
  // A mount is out of reach when another mount beside it on the same mount
  // covers it (mounted later at its place or above it: had it come first,
  // this one would lie on it), or when the mount it lies on is out of
  // reach. It is hidden too when a mount lies over it at its very place:
  // that one is reached through it.
  const std::vector<UnixMount>& all = table.mounts_;
  const std::size_t n = all.size();
  std::vector<std::size_t> parent(n, n);
  std::vector<bool> beside(n, false);
  std::vector<bool> over(n, false);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      if (i == j) continue;
      if (all[j].id == all[i].parent) parent[i] = j;
      if (all[j].parent == all[i].id && all[j].point == all[i].point) over[i] = true;
      if (all[j].parent == all[i].parent && Inside(all[i].point, all[j].point, j > i)) {
        beside[i] = true;
      }
    }
  }
  table.visible_.assign(n, false);
  for (std::size_t i = 0; i < n; ++i) {
    bool reached = true;
    // Up the chain of parents to one not listed (the namespace's root has
    // its parent outside), bounded against a loop.
    for (std::size_t at = i, steps = 0; reached && steps <= n; ++steps) {
      reached = !beside[at];
      const std::size_t up = parent[at];
      if (up == n) break;
      reached = reached && (!over[up] || all[at].point == all[up].point);
      at = up;
    }
    table.visible_[i] = reached && !over[i];
  }
  return table;
}

bool UnixMounts::Visible(const UnixMount& mount) const {
  const auto at = static_cast<std::size_t>(&mount - mounts_.data());
  return at < visible_.size() && visible_[at];
}

const UnixMount* UnixMounts::MountOf(std::string_view path) const {
  if (path.empty() || path[0] != '/') return nullptr;
  const UnixMount* best = nullptr;
  for (std::size_t i = 0; i < mounts_.size(); ++i) {
    const UnixMount& m = mounts_[i];
    if (!visible_[i] || !Inside(path, m.point, true)) continue;
    if (!best || m.point.size() > best->point.size()) best = &m;
  }
  return best;
}

std::optional<UnixMounts::Place> UnixMounts::PlaceOf(std::string_view path) const {
  const UnixMount* m = MountOf(path);
  if (!m) return std::nullopt;
  std::string_view rest = path.substr(m->point == "/" ? 0 : m->point.size());
  Place place{m->device, m->root == "/" ? std::string() : m->root};
  place.path.append(rest);
  if (place.path.empty()) place.path.push_back('/');
  return place;
}

bool UnixMounts::Inside(std::string_view path, std::string_view folder, bool orSame) {
  if (folder == "/") return orSame || path != "/";
  if (!path.starts_with(folder)) return false;
  if (path.size() == folder.size()) return orSame;
  return path[folder.size()] == '/';
}

bool UnixMounts::IsPseudoType(std::string_view type) {
  static constexpr std::array<std::string_view, 22> kTypes = {
      "proc",       "sysfs",   "devtmpfs",  "devpts",      "cgroup", "cgroup2",
      "securityfs", "debugfs", "tracefs",   "pstore",      "bpf",    "configfs",
      "fusectl",    "mqueue",  "hugetlbfs", "binfmt_misc", "autofs", "efivarfs",
      "rpc_pipefs", "nsfs",    "selinuxfs", "nfsd"};
  for (std::string_view t : kTypes) {
    if (t == type) return true;
  }
  return false;
}

}  // namespace tidwen

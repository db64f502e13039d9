#include "frontend/common/file_system_rows.h"

namespace tidwen::frontend {

std::string DriveText(const DriveInfo& drive) {
  std::string text{drive.letter, ':'};
  if (!drive.label.empty()) text += " [" + drive.label + "]";
  return text;
}

bool SameDrive(const DriveInfo& a, const DriveInfo& b) {
  return a.letter == b.letter && a.identity == b.identity;
}

int DriveToKeep(const std::optional<DriveInfo>& before, const std::vector<DriveInfo>& drives) {
  if (!before) return -1;
  for (std::size_t i = 0; i < drives.size(); ++i) {
    if (SameDrive(drives[i], *before)) return static_cast<int>(i);
  }
  return -1;
}

std::vector<DirRow> DirRows(const DirListControl& lister) {
  std::vector<DirRow> rows;
  const std::string path = lister.Path();
  if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return rows;
  rows.push_back({path.substr(0, 3), path.substr(0, 3), 0, true});
  for (std::size_t from = 3; from < path.size();) {
    std::size_t end = path.find('\\', from);
    if (end == std::string::npos) end = path.size();
    rows.push_back(
        {path.substr(0, end), path.substr(from, end - from), static_cast<int>(rows.size()), true});
    from = end + 1;
  }
  const int depth = static_cast<int>(rows.size());
  const std::int64_t count = lister.ListCount();
  for (std::int64_t i = 0; i < count; ++i) {
    std::string child = lister.List(i);
    const std::size_t slash = child.rfind('\\');
    std::string name = slash == std::string::npos ? child : child.substr(slash + 1);
    rows.push_back({std::move(child), std::move(name), depth, false});
  }
  return rows;
}

}  // namespace tidwen::frontend

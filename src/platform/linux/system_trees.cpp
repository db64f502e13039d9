#include "platform/linux/system_trees.h"

#include <sys/stat.h>

#include <utility>

namespace tidwen {

namespace {

// The parent of a system tree's root: "/" for "/usr", "/var" for "/var/lib".
std::string_view ParentOf(std::string_view tree) {
  const std::size_t slash = tree.rfind('/');
  return slash == 0 ? tree.substr(0, 1) : tree.substr(0, slash);
}

}  // namespace

bool InSystemTree(std::string_view posixPath) {
  for (const std::string_view tree : kSystemTrees) {
    if (posixPath.substr(0, tree.size()) == tree &&
        (posixPath.size() == tree.size() || posixPath[tree.size()] == '/')) {
      return true;
    }
  }
  return false;
}

bool HoldsSystemTree(std::string_view posixPath) {
  for (const std::string_view tree : kSystemTrees) {
    if (ParentOf(tree) == posixPath) return true;
  }
  return false;
}

SystemTrees::SystemTrees(std::vector<Root> roots) : roots_(std::move(roots)) {}

SystemTrees SystemTrees::Record() {
  std::vector<Root> roots;
  for (const std::string_view tree : kSystemTrees) {
    const std::string path(tree);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    roots.push_back(
        {path, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
  }
  return SystemTrees(std::move(roots));
}

bool SystemTrees::Holds(std::string_view posixPath) const {
  if (roots_.empty() || posixPath.empty() || posixPath.front() != '/') return false;
  std::string path(posixPath);
  while (true) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 &&
        IsRoot(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino))) {
      return true;
    }
    const std::size_t slash = path.rfind('/');
    if (slash == 0 || slash == std::string::npos) return false;
    path.resize(slash);
  }
}

}  // namespace tidwen

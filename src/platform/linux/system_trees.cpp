#include "platform/linux/system_trees.h"

#include <sys/stat.h>

#include <utility>

#include "platform/linux/kept_mounts.h"
#include "platform/linux/mount_info.h"

namespace tidwen {

namespace {

// The parent of a system tree's root: "/" for "/usr".
std::string_view ParentOf(std::string_view tree) {
  const std::size_t slash = tree.rfind('/');
  return slash == 0 ? tree.substr(0, 1) : tree.substr(0, slash);
}

// Whether path is tree or lies below it.
bool Within(std::string_view path, std::string_view tree) {
  return path.substr(0, tree.size()) == tree &&
         (path.size() == tree.size() || path[tree.size()] == '/');
}

}  // namespace

bool InSystemTree(std::string_view posixPath) {
  for (const UnixSystemTree& tree : kUnixSystemTrees) {
    if (!Within(posixPath, tree.path)) continue;
    if (posixPath.size() == tree.path.size() || tree.passage.empty()) return true;
    // Below the root: all of it but the passage and what lies in it.
    const std::string_view below = posixPath.substr(tree.path.size() + 1);
    return below.substr(0, below.find('/')) != tree.passage;
  }
  return false;
}

std::string_view PassageAt(std::string_view posixPath) {
  for (const UnixSystemTree& tree : kUnixSystemTrees) {
    if (posixPath == tree.path) return tree.passage;
  }
  return {};
}

bool HoldsSystemTree(std::string_view posixPath) {
  for (const UnixSystemTree& tree : kUnixSystemTrees) {
    if (ParentOf(tree.path) == posixPath) return true;
  }
  return false;
}

bool IsSystemTreeName(std::string_view name) {
  for (const UnixSystemTree& tree : kUnixSystemTrees) {
    if (ParentOf(tree.path) == "/" && tree.path.substr(1) == name) return true;
  }
  return false;
}

std::string_view PassageOfTreeNamed(std::string_view name) {
  for (const UnixSystemTree& tree : kUnixSystemTrees) {
    if (ParentOf(tree.path) == "/" && tree.path.substr(1) == name) return tree.passage;
  }
  return {};
}

SystemTrees::SystemTrees(std::vector<Root> roots) : roots_(std::move(roots)) {}

SystemTrees SystemTrees::Record() {
  std::string mountinfo;
  // Without the mount table, the trees are still known by their paths.
  ReadOwnMountInfo(mountinfo);
  return Record(mountinfo);
}

SystemTrees SystemTrees::Record(std::string_view mountinfo) {
  std::vector<Root> roots;
  const auto add = [&roots](std::string path, std::string_view passage) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    roots.push_back({std::move(path), static_cast<std::uint64_t>(st.st_dev),
                     static_cast<std::uint64_t>(st.st_ino), std::string(passage)});
  };
  for (const UnixSystemTree& tree : kUnixSystemTrees) add(std::string(tree.path), tree.passage);
  const SystemTrees known(roots);
  for (std::string& layer : OverlayLayers(ParseMountInfo(mountinfo), known)) {
    add(std::move(layer), {});
  }
  return SystemTrees(std::move(roots));
}

bool SystemTrees::Holds(std::string_view posixPath) const {
  if (roots_.empty() || posixPath.empty() || posixPath.front() != '/') return false;
  std::string path(posixPath);
  std::string child;  // the name below path on the way to posixPath
  while (true) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      const Root* root =
          RootAt(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino));
      if (root != nullptr && (root->passage.empty() || child != root->passage)) return true;
    }
    const std::size_t slash = path.rfind('/');
    if (slash == 0 || slash == std::string::npos) return false;
    child = path.substr(slash + 1);
    path.resize(slash);
  }
}

}  // namespace tidwen

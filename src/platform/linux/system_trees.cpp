#include "platform/linux/system_trees.h"

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

}  // namespace tidwen

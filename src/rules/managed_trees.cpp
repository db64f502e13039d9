#include "rules/managed_trees.h"

#include <algorithm>

namespace tidwen {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsManagedTree(std::string_view name, bool ignoreAsciiCase) {
  return std::any_of(kManagedTrees.begin(), kManagedTrees.end(), [&](std::string_view tree) {
    if (!ignoreAsciiCase) return name == tree;
    return name.size() == tree.size() &&
           std::equal(name.begin(), name.end(), tree.begin(),
                      [](char a, char b) { return Lower(a) == Lower(b); });
  });
}

}  // namespace tidwen

// Directories that a package manager or a version-control system keeps.
// Their files are that tool's, not the user's junk: an empty __init__.py or
// py.typed, or a lock file in .git, is part of a working installation or
// repository. A scan never lists or walks a directory of one of these names,
// on any platform; each backend leaves them out of its listings.
#pragma once

#include <array>
#include <string_view>

namespace tidwen {

inline constexpr std::array<std::string_view, 7> kManagedTrees = {
    ".git",           // Git's repository
    ".hg",            // Mercurial's
    ".svn",           // Subversion's working-copy data
    ".bzr",           // Bazaar's
    "site-packages",  // Python's installed packages
    "dist-packages",  // the same, installed by Debian's packages
    "node_modules",   // npm's installed packages
};

// Whether a directory's bare name is one of kManagedTrees. The names are
// UTF-8; with ignoreAsciiCase (for file systems that ignore case, as
// Windows' do) "Node_Modules" counts too.
bool IsManagedTree(std::string_view name, bool ignoreAsciiCase = false);

}  // namespace tidwen

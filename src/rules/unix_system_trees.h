// The trees where a Unix system keeps its own files, with what of each a
// scan may still reach. The Linux build keeps them out of every drive; the
// Windows build keeps them out of a drive that maps to a Unix system's
// root, as Wine's Z: does. Files in them are the system's, like the files
// Windows marks as system files: never listed, so never offered.
#pragma once

#include <array>
#include <string_view>

namespace tidwen {

struct UnixSystemTree {
  std::string_view path;  // absolute, without a trailing "/"
  // The one subdirectory that stays in reach, as the way to it alone (no
  // file of the tree itself and no other subdirectory is listed); empty
  // when the tree is kept out whole.
  std::string_view passage;
};

inline constexpr std::array<UnixSystemTree, 12> kUnixSystemTrees = {{
    {"/usr", {}},
    {"/etc", {}},
    {"/boot", {}},
    {"/opt", {}},
    // Logs, spools, caches, locks and backups are the system's; /var/tmp is
    // everybody's scratch space, junk's home.
    {"/var", "tmp"},
    {"/bin", {}},
    {"/sbin", {}},
    {"/lib", {}},
    {"/lib32", {}},
    {"/lib64", {}},
    {"/libx32", {}},
    {"/snap", {}},
}};

}  // namespace tidwen

// The Unix system's part of what is kept out, under Wine.
#include <array>
#include <string>
#include <string_view>

#include "platform/windows/kept_out.h"
#include "rules/unix_system_trees.h"

namespace tidwen {

namespace {

// Where the kernel and the running system keep their state: process
// tables, devices, sockets, locks and pid files of running programs.
// Wine itself leaves /proc, /sys and /dev out of its listings, but not
// /run, nor any of them reached by a drive letter.
constexpr std::array<std::string_view, 4> kRunningSystem = {"/proc", "/sys", "/dev", "/run"};

std::string Below(std::string_view folder, std::string_view name) {
  std::string path(folder);
  path += '/';
  path += name;
  return path;
}

}  // namespace

void WinKeptOut::AddUnixTrees() {
  for (const UnixSystemTree& tree : kUnixSystemTrees) {
    std::optional<std::wstring> passage;
    if (!tree.passage.empty()) passage = WineHost::OpenPathOf(Below(tree.path, tree.passage));
    Add(WineHost::OpenPathOf(tree.path), passage);
  }
  for (std::string_view path : kRunningSystem) Add(WineHost::OpenPathOf(path), std::nullopt);

  // The mounts: any other file system of the kernel's kind, and any mount
  // that shows a part of a kept tree somewhere else (a bind mount of
  // /usr/share, of the Windows folder's System32). A mount that shows a
  // whole kept tree, or a folder holding one, needs nothing more: the
  // tree's identity is the same wherever it shows.
  const std::size_t named = trees_.size();
  const auto covered = [&](const std::string& point) {
    for (std::size_t i = 0; i < named; ++i) {
      if (!trees_[i].realPath.empty() && UnixMounts::Inside(point, trees_[i].realPath, true)) {
        return true;
      }
    }
    return false;
  };
  for (const UnixMount& m : mounts_.All()) {
    if (!mounts_.Visible(m) || covered(m.point)) continue;
    if (UnixMounts::IsPseudoType(m.type)) {
      Add(WineHost::OpenPathOf(m.point), std::nullopt);
      continue;
    }
    for (std::size_t i = 0; i < named; ++i) {
      const Tree& t = trees_[i];
      const std::optional<UnixMounts::Place> place = mounts_.PlaceOf(t.realPath);
      if (t.realPath.empty() || !place || place->device != m.device ||
          !UnixMounts::Inside(m.root, place->path, /*orSame=*/false)) {
        continue;
      }
      const std::optional<UnixMounts::Place> passage =
          t.passageRealPath.empty() ? std::nullopt : mounts_.PlaceOf(t.passageRealPath);
      if (passage && passage->device == m.device &&
          UnixMounts::Inside(m.root, passage->path, /*orSame=*/true)) {
        continue;  // a part of the passage, everybody's
      }
      Add(WineHost::OpenPathOf(m.point), std::nullopt);
      break;
    }
  }
}

}  // namespace tidwen

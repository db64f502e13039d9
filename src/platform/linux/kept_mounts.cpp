#include "platform/linux/kept_mounts.h"

#include <sys/stat.h>

#include "rules/never_offered.h"

namespace tidwen {

namespace {

bool Within(std::string_view path, std::string_view tree) {
  return path.substr(0, tree.size()) == tree &&
         (path.size() == tree.size() || path[tree.size()] == '/');
}

// The layers of one overlay option value as the mount table gives it: "a:b"
// with "\:" for a ":" in a name, "::" before the data-only layers, and
// each name's octal escapes decoded after the split.
std::vector<std::string> SplitLayers(std::string_view value) {
  std::vector<std::string> layers(1);
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ':') {
      layers.back().push_back(value[++i]);
    } else if (value[i] == ':') {
      layers.emplace_back();
    } else {
      layers.back().push_back(value[i]);
    }
  }
  std::erase_if(layers, [](const std::string& layer) { return layer.empty(); });
  for (std::string& layer : layers) {
    layer = DecodeOctalEscapes(layer);
    while (layer.size() > 1 && layer.back() == '/') layer.pop_back();
  }
  return layers;
}

bool IsSystemDirectory(const std::string& path, const SystemTrees& roots) {
  if (path == "/" || InSystemTree(path)) return true;
  struct stat st {};
  struct stat root {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (::stat("/", &root) == 0 && st.st_dev == root.st_dev && st.st_ino == root.st_ino) return true;
  return roots.RootAt(static_cast<std::uint64_t>(st.st_dev),
                      static_cast<std::uint64_t>(st.st_ino)) != nullptr;
}

}  // namespace

bool InNeverOfferedTree(std::string_view posixPath) {
  // Each name with its parents, as a listing would meet it: the parent as
  // a drive path of any drive ("x:\home\u"), the name below it.
  std::string parent = "x:\\";
  std::size_t at = 0;
  while (at < posixPath.size()) {
    std::size_t slash = posixPath.find('/', at);
    if (slash == std::string_view::npos) slash = posixPath.size();
    const std::string_view name = posixPath.substr(at, slash - at);
    at = slash + 1;
    if (name.empty()) continue;
    if (IsNeverOfferedTree(parent, name)) return true;
    if (parent.back() != '\\') parent.push_back('\\');
    parent.append(name);
  }
  return false;
}

KeptMounts::KeptMounts(const std::vector<MountEntry>& entries, const SystemTrees& trees) {
  for (const SystemTrees::Root& tree : trees.Roots()) {
    // The mount that shows at the tree: the longest mount point above it,
    // the last of equals.
    const MountEntry* holder = nullptr;
    for (const MountEntry& e : entries) {
      const std::string& m = e.mountPoint;
      if ((m == "/" || Within(tree.path, m)) &&
          (holder == nullptr || m.size() >= holder->mountPoint.size())) {
        holder = &e;
      }
    }
    if (holder == nullptr) continue;
    std::string_view rest(tree.path);
    if (holder->mountPoint != "/") rest.remove_prefix(holder->mountPoint.size());
    std::string_view root(holder->root);
    if (!rest.empty() && !root.empty() && root.back() == '/') root.remove_suffix(1);
    std::string path;
    path.reserve(root.size() + rest.size() + 1);
    path.append(root).append(rest);
    if (path.empty()) path.push_back('/');
    located_.push_back({holder->device, std::move(path), tree.passage});
  }
}

bool KeptMounts::KeepsOut(const MountEntry& e) const {
  if ((InSystemTree(e.mountPoint) && PassageAt(e.mountPoint).empty()) ||
      InNeverOfferedTree(e.mountPoint) || InNeverOfferedTree(e.root)) {
    return true;
  }
  for (const TreeInFilesystem& t : located_) {
    if (e.device != t.device) continue;
    // A tree that is its filesystem's root holds every mount of it.
    const bool whole = t.path == "/";
    if (!whole && !Within(e.root, t.path)) continue;
    if (t.passage.empty()) return true;
    // The tree's root shows the passage alone; inside it, all but the
    // passage is the system's.
    std::string_view below = std::string_view(e.root).substr(whole ? 0 : t.path.size());
    while (!below.empty() && below.front() == '/') below.remove_prefix(1);
    if (!below.empty() && below.substr(0, below.find('/')) != t.passage) return true;
  }
  return false;
}

std::vector<std::string> OverlayLayers(const std::vector<MountEntry>& entries,
                                       const SystemTrees& roots) {
  std::vector<std::string> layers;
  for (const MountEntry& e : entries) {
    if (e.fsType != "overlay") continue;
    bool overSystem = e.mountPoint == "/" || InSystemTree(e.mountPoint);
    std::vector<std::string> own;
    std::string_view options = e.superOptions;
    while (!options.empty()) {
      const std::size_t comma = options.find(',');
      const std::string_view option = options.substr(0, comma);
      options = comma == std::string_view::npos ? std::string_view() : options.substr(comma + 1);
      const std::size_t equals = option.find('=');
      if (equals == std::string_view::npos) continue;
      const std::string_view key = option.substr(0, equals);
      const std::string_view value = option.substr(equals + 1);
      if (key == "lowerdir" || key == "lowerdir+" || key == "datadir+") {
        for (const std::string& lower : SplitLayers(value)) {
          overSystem = overSystem || IsSystemDirectory(lower, roots);
        }
      } else if (key == "upperdir" || key == "workdir") {
        for (std::string& layer : SplitLayers(value)) own.push_back(std::move(layer));
      }
    }
    if (overSystem) layers.insert(layers.end(), own.begin(), own.end());
  }
  return layers;
}

}  // namespace tidwen

// How the Linux backend meets the shared platform contract where backends
// differ.
#include <algorithm>
#include <string>

#include "file_holder.h"
#include "linux_test_support.h"
#include "platform/contract/contract_support.h"

namespace tidwen::contract {

// As the program runs, and with openat2 reported missing, so that paths are
// opened one component at a time as on kernels before 5.6.
std::vector<std::string> PlatformKinds() { return {"Directory", "PerComponent"}; }

MadePlatform MakePlatform(const std::string& kind, const std::string& root) {
  if (kind == "Directory") return {nullptr, MakeDirectoryPlatform(root)};
  auto sys = std::make_shared<test::ScriptedSysCalls>();
  sys->Fail(test::Op::kOpenAt2, ENOSYS);
  return {sys, std::make_unique<LinuxPlatform>(DriveTable({Drive{'c', root, ""}}), *sys)};
}

// The listers sort names by their bytes.
std::vector<std::string> ListingOrder(const Tree& tree, std::string_view relative) {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(tree.Path(relative))) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A leading dot hides a name.
std::string Hide(const Tree& tree, std::string_view relative, std::string&) {
  const fs::path shown(relative);
  const std::string hidden = (shown.parent_path() / ("." + shown.filename().string())).string();
  fs::rename(tree.Path(relative), tree.Path(hidden));
  return hidden;
}

void MakeSparseFile(const Tree& tree, std::string_view relative, std::int64_t length) {
  tree.File(relative, "");
  fs::resize_file(tree.Path(relative), static_cast<std::uintmax_t>(length));
}

// A child process that opened it for reading.
std::shared_ptr<void> HoldOpen(const Tree& tree, std::string_view relative, std::string& why) {
  auto holder = std::make_shared<test::FileHolder>(tree.Path(relative).string(), test::Hold::kOpen);
  if (!holder->Error().empty()) {
    why = holder->Error();
    return nullptr;
  }
  return holder;
}

}  // namespace tidwen::contract

// How the Linux backend meets the shared platform contract where backends
// differ.
#include <string>

#include "platform/contract/contract_support.h"

namespace tidwen::contract {

// The listers sort names by their bytes.
const bool kListsInByteOrder = true;

// A leading dot hides a name.
std::string Hide(const Tree& tree, std::string_view relative, std::string&) {
  std::string hidden(relative);
  hidden.insert(hidden.rfind('/') + 1, ".");  // npos + 1 is the start
  fs::rename(tree.Path(relative), tree.Path(hidden));
  return hidden;
}

void MakeSparseFile(const Tree& tree, std::string_view relative, std::int64_t length) {
  tree.File(relative, "");
  fs::resize_file(tree.Path(relative), static_cast<std::uintmax_t>(length));
}

}  // namespace tidwen::contract

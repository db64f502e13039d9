// How the Windows backend meets the shared platform contract where backends
// differ.
#include "platform/windows/win32.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "held_file.h"
#include "platform/contract/contract_support.h"
#include "win_test_support.h"

namespace tidwen::contract {

std::vector<std::string> PlatformKinds() { return {"Directory"}; }

MadePlatform MakePlatform(const std::string&, const std::string& root) {
  return {nullptr, MakeDirectoryPlatform(root)};
}

// The listers keep the order FindFirstFileW gives, which is the file
// system's (under Wine, the host's).
std::vector<std::string> ListingOrder(const Tree& tree, std::string_view relative) {
  std::vector<std::string> names;
  for (const test::RawEntry& e : test::RawListing(L"\\\\?\\" + tree.Path(relative).wstring())) {
    names.push_back(e.name);
  }
  return names;
}

// The hidden attribute hides a name.
std::string Hide(const Tree& tree, std::string_view relative, std::string& why) {
  const std::wstring path = tree.Path(relative).wstring();
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (!SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN) ||
      !(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN)) {
    why = "the file system does not keep the hidden attribute (Wine keeps it in xattrs)";
    return "";
  }
  return std::string(relative);
}

void MakeSparseFile(const Tree& tree, std::string_view relative, std::int64_t length) {
  tree.File(relative, "");
  HANDLE h = CreateFileW(tree.Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  LARGE_INTEGER at;
  at.QuadPart = length;
  const bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  CloseHandle(h);
  ASSERT_TRUE(ok) << GetLastError();
}

std::shared_ptr<void> HoldOpen(const Tree& tree, std::string_view relative, std::string& why) {
  // Another process, holding it for reading and sharing everything.
  auto held = std::make_shared<test::HeldFile>(L"read", tree.Path(relative).wstring());
  if (!held->Why().empty()) {
    why = held->Why();
    return nullptr;
  }
  return held;
}

}  // namespace tidwen::contract

// tidwen-bench for Windows: lists the scan's hits of a directory shown as
// drive c:, one per line, byte for byte as the Linux build's --list prints
// them for the same tree (in the file system's order rather than by name).
//
//   tidwen-bench --list DIR
//
// The timed benchmarks run on Linux only.
#include "platform/windows/win32.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "mapped_drive.h"
#include "platform/runtime_error.h"
#include "platform/wtf8.h"

namespace {

// DIR as a full drive path ("d:\trees\x"); empty when it is none.
std::string FullDirectory(const wchar_t* dir) {
  const DWORD needed = GetFullPathNameW(dir, 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(dir, needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return {};
  full.resize(length);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
  if (full.size() < 3 || full[1] != L':' || full[2] != L'\\') return {};
  std::string out = tidwen::ToWtf8(std::wstring_view(full));
  if (out[0] >= 'A' && out[0] <= 'Z') out[0] = static_cast<char>(out[0] - 'A' + 'a');
  return out;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 3 || std::wstring_view(argv[1]) != L"--list") {
    std::fprintf(stderr, "usage: tidwen-bench --list DIR\n");
    return 2;
  }
  const std::string dir = FullDirectory(argv[2]);
  LocalFree(argv);
  if (dir.empty()) {
    std::fprintf(stderr, "tidwen-bench: not a directory on a drive\n");
    return 2;
  }
  // Entries are bytes, lines end in "\n" alone.
  _setmode(_fileno(stdout), _O_BINARY);
  try {
    for (const std::string& hit : tidwen::bench::ListHits(dir)) {
      std::fwrite(hit.data(), 1, hit.size(), stdout);
      std::fputc('\n', stdout);
    }
  } catch (const tidwen::RuntimeError& e) {
    std::fprintf(stderr, "tidwen-bench: %s\n", e.what());
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// A second process for the tests that need a file held open by another
// program than the one that deletes it:
//
//   tidwen_hold_file MODE PATH
//
// MODE is how the file is held: "read" (read access, others may read),
// "all" (read and write access, others may read, write and delete), or
// "map" (a view of the file mapped, the file's and the mapping's handles
// closed again, as a program that maps a file and keeps only the view).
// Once the file is held, one byte goes to standard output: "1", or "0" when
// it could not be held. The file is let go when standard input ends.
#include "platform/windows/win32.h"

#include <shellapi.h>

#include <cwchar>

namespace {

bool Hold(const wchar_t* mode, const wchar_t* path, HANDLE& file, void*& view) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  if (std::wcscmp(mode, L"read") == 0) {
    file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    return file != INVALID_HANDLE_VALUE;
  }
  if (std::wcscmp(mode, L"all") == 0) {
    file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0,
                       nullptr);
    return file != INVALID_HANDLE_VALUE;
  }
  if (std::wcscmp(mode, L"map") == 0) {
    HANDLE opened = CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    HANDLE mapping = CreateFileMappingW(opened, nullptr, PAGE_READONLY, 0, 0, nullptr);
    CloseHandle(opened);
    if (!mapping) return false;
    view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);
    return view != nullptr;
  }
  return false;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) return 2;
  HANDLE file = INVALID_HANDLE_VALUE;
  void* view = nullptr;
  const bool held = Hold(argv[1], argv[2], file, view);
  LocalFree(argv);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), held ? "1" : "0", 1, &written, nullptr);
  if (!held) return 1;
  // Until the test closes its end of the pipe.
  char byte;
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr) && read > 0) {
  }
  if (view) UnmapViewOfFile(view);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}

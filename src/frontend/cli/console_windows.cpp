#include "platform/windows/win32.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <system_error>

#include "frontend/cli/console.h"
#include "platform/wtf8.h"

namespace tidwen::cli {

namespace {

// The handler runs on a thread of its own, and can reach nothing else.
StopSignal* g_stop = nullptr;
volatile LONG g_signals = 0;

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (InterlockedIncrement(&g_signals) > 1) ExitProcess(130);  // asked twice: end now
  if (g_stop != nullptr) g_stop->Request();
  return TRUE;
}

}  // namespace

void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
  // Bytes go out as written: lines end in "\n" alone, as on Linux, so that
  // one script reads both.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> Arguments(int, char**) {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> out;
  for (int i = 1; i < count; ++i) out.push_back(ToWtf8(std::wstring_view(words[i])));
  if (words != nullptr) LocalFree(words);
  return out;
}

Language UserLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? Language::kChinese
                                                                   : Language::kEnglish;
}

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void InstallStopHandlers(StopSignal& stop) {
  g_stop = &stop;
  SetConsoleCtrlHandler(OnControl, TRUE);
}

std::optional<std::string> ReadAnswer() {
  char line[256];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return std::nullopt;
  if (g_stop != nullptr && g_stop->Requested()) return std::nullopt;
  std::string answer(line);
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  return answer;
}

std::optional<std::string> ResolvedPath(std::string_view given, std::string& why) {
  std::wstring wide;
  if (!AppendFromWtf8(given, wide)) {
    why = "not a path";
    return std::nullopt;
  }
  // The absolute path, "." and ".." resolved, as the system makes it from
  // the working directory; then it must lead somewhere. Win32 rather than
  // std::filesystem, whose locale machinery would double the program.
  std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD length =
      full.empty()
          ? 0
          : GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size() ||
      GetFileAttributesW(full.substr(0, length).c_str()) == INVALID_FILE_ATTRIBUTES) {
    why = std::system_category().message(static_cast<int>(GetLastError()));
    return std::nullopt;
  }
  full.resize(length);
  return ToWtf8(std::wstring_view(full));
}

}  // namespace tidwen::cli

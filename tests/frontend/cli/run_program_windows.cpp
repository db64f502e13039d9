#include "platform/windows/win32.h"

#include <stdexcept>
#include <thread>

#include "platform/wtf8.h"
#include "run_program.h"

namespace tidwen::test {

namespace {

std::wstring Wide(std::string_view utf8) {
  std::wstring out;
  AppendFromWtf8(utf8, out);
  return out;
}

// A command line word as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& word) {
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
    slashes = 0;
    out.push_back(c);
  }
  out.append(2 * slashes, L'\\');
  out.push_back(L'"');
  return out;
}

void Drain(HANDLE from, std::string& to) {
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(from, buffer, sizeof buffer, &n, nullptr) && n > 0) to.append(buffer, n);
}

}  // namespace

RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead, inWrite, outRead, outWrite, errRead, errWrite;
  if (!CreatePipe(&inRead, &inWrite, &inherit, 0) ||
      !CreatePipe(&outRead, &outWrite, &inherit, 0) ||
      !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
    throw std::runtime_error("CreatePipe");
  }
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  if (options.closedOutput) {
    CloseHandle(outRead);
    outRead = nullptr;
  }
  std::wstring line = Quoted(Wide(program));
  for (const std::string& a : arguments) line += L" " + Quoted(Wide(a));
  for (const auto& [name, value] : options.environment) {
    SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
  }
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = inRead;
  start.hStdOutput = outWrite;
  start.hStdError = errWrite;
  PROCESS_INFORMATION process{};
  const BOOL made = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   nullptr, &start, &process);
  for (const auto& [name, value] : options.environment) {
    SetEnvironmentVariableW(Wide(name).c_str(), nullptr);
  }
  CloseHandle(inRead);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (!made) throw std::runtime_error("CreateProcess");
  DWORD written = 0;
  if (!options.input.empty()) {
    WriteFile(inWrite, options.input.data(), static_cast<DWORD>(options.input.size()), &written,
              nullptr);
  }
  CloseHandle(inWrite);
  RunResult result;
  std::thread errors([&] { Drain(errRead, result.err); });
  if (outRead != nullptr) Drain(outRead, result.out);
  errors.join();
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  result.exitCode = static_cast<int>(code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  if (outRead != nullptr) CloseHandle(outRead);
  CloseHandle(errRead);
  return result;
}

}  // namespace tidwen::test

// A file held open by another process, tidwen_hold_file (hold_file.cpp),
// which is built beside the test executables: the real condition of a file
// that a running program has open, not a handle of the test's own.
#pragma once

#include "platform/windows/win32.h"

#include <string>

namespace tidwen::test {

class HeldFile {
 public:
  // Starts the holder on the file at longPath in this mode ("read", "all",
  // "map"; see hold_file.cpp) and waits until it holds the file or fails.
  HeldFile(const wchar_t* mode, const std::wstring& longPath) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr;
    HANDLE childOut = nullptr;
    if (!CreatePipe(&childIn, &toChild_, &inherit, 0) ||
        !CreatePipe(&fromChild_, &childOut, &inherit, 0)) {
      why_ = "no pipe: error " + std::to_string(GetLastError());
      return;
    }
    SetHandleInformation(toChild_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + HolderPath() + L"\" " + mode + L" \"" + longPath + L"\"";
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process_);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started) {
      why_ = "cannot start the holder: error " + std::to_string(GetLastError());
      return;
    }
    CloseHandle(process_.hThread);
    char answer = 0;
    DWORD read = 0;
    // Ends with the holder's answer, or with the pipe when the holder dies.
    if (!ReadFile(fromChild_, &answer, 1, &read, nullptr) || read != 1 || answer != '1') {
      why_ = "the holder could not hold the file";
    }
  }
  ~HeldFile() { Release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Empty while the file is held, else why it is not.
  const std::string& Why() const { return why_; }

  // Lets the file go and waits for the holder to end.
  void Release() {
    if (toChild_) CloseHandle(toChild_);
    toChild_ = nullptr;
    if (process_.hProcess) {
      WaitForSingleObject(process_.hProcess, 30000);
      CloseHandle(process_.hProcess);
      process_.hProcess = nullptr;
    }
    if (fromChild_) CloseHandle(fromChild_);
    fromChild_ = nullptr;
  }

 private:
  static std::wstring HolderPath() {
    wchar_t self[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring dir(self, length);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    return dir + L"tidwen_hold_file.exe";
  }

  HANDLE toChild_ = nullptr;
  HANDLE fromChild_ = nullptr;
  PROCESS_INFORMATION process_{};
  std::string why_;
};

}  // namespace tidwen::test

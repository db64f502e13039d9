// The window's thread's message loop while a command runs on a worker: a
// nested loop that ends when the command ends, the busy policy applied to
// each message, and the wakes of the command's runner as messages and a
// timer of a message-only window of its own.
#pragma once

#include "platform/windows/win32.h"

#include <functional>

#include "frontend/common/command_runner.h"

namespace tidwen::win32 {

class BusyLoop : public frontend::WindowLoop {
 public:
  // drop: whether the busy policy drops a message (holding the close it
  // asks for, if any); dispatch: handles a message as the program's own
  // loop does.
  BusyLoop(std::function<bool(const MSG&)> drop, std::function<void(MSG&)> dispatch);
  ~BusyLoop() override;
  BusyLoop(const BusyLoop&) = delete;
  BusyLoop& operator=(const BusyLoop&) = delete;

  void SetRunner(frontend::CommandRunner* runner) { runner_ = runner; }

  void Wake() override;
  void WakeAfter(std::chrono::milliseconds delay) override;
  void Run() override;
  void Quit() override { quit_ = true; }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  // Takes the input still queued, which the policy drops, rather than leave
  // it to run commands once the command has ended.
  void DropQueuedInput();

  std::function<bool(const MSG&)> drop_;
  std::function<void(MSG&)> dispatch_;
  frontend::CommandRunner* runner_ = nullptr;
  HWND wakeWindow_ = nullptr;  // made on the window's thread, never changed
  bool quit_ = false;
};

}  // namespace tidwen::win32

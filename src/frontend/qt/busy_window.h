// The Qt window's side of a running command: the busy policy applied to
// the events Qt delivers, and the event loop the command's runner wakes.
#pragma once

#include <QObject>
#include <functional>

#include "frontend/common/busy_policy.h"
#include "frontend/common/command_runner.h"

class QEventLoop;

namespace tidwen::qt {

// Applies the busy policy to every event of the application while it is
// installed (for the run of one command): input aimed at the program's
// windows is dropped, and their closes are held.
class BusyFilter : public QObject {
 public:
  using RoleOf = std::function<frontend::WindowRole(const QObject& receiver)>;
  // Installed on the application at once.
  BusyFilter(frontend::BusyPolicy& policy, RoleOf roleOf);
  ~BusyFilter() override;
  BusyFilter(const BusyFilter&) = delete;
  BusyFilter& operator=(const BusyFilter&) = delete;

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  frontend::BusyPolicy& policy_;
  RoleOf roleOf_;
};

// The window's thread's event loop while a command runs on a worker: a
// nested QEventLoop that ends when the command ends, and the wakes of the
// command's runner as queued calls and timers on the window's thread.
class QtWindowLoop : public QObject, public frontend::WindowLoop {
 public:
  void SetRunner(frontend::CommandRunner* runner) { runner_ = runner; }

  void Wake() override;
  void WakeAfter(std::chrono::milliseconds delay) override;
  void Run() override;
  void Quit() override;

 private:
  void Drain();

  frontend::CommandRunner* runner_ = nullptr;
  QEventLoop* loop_ = nullptr;
  bool quit_ = false;
};

}  // namespace tidwen::qt

// The main window: the choose-types and results views over the drive, the
// junk types and the found files, and the six commands.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "frontend/common/busy_policy.h"
#include "frontend/common/command_runner.h"
#include "frontend/common/form1_handlers.h"
#include "frontend/common/repaint_pacer.h"
#include "frontend/qt/busy_window.h"
#include "frontend/qt/message_box.h"
#include "model/form1_context.h"
#include "platform/platform.h"

class QFrame;
class QLabel;
class QPushButton;

namespace tidwen::qt {

class DirListBox;
class DriveListBox;
class FileListBox;
class Form2;
class ListBox;
class PictureBox;
class StatusLabel;

class Form1 : public QWidget, public frontend::Form1Handlers {
  Q_OBJECT

 public:
  // platform must outlive the window. The drive, directory and files shown
  // at start are those of the working directory, or the first drive's root
  // when the working directory lies on no drive. Runs Form_Load.
  explicit Form1(Platform& platform, QWidget* parent = nullptr);
  ~Form1() override;

  void Form_Load() override;
  void Command1_Click() override;
  void Command2_Click() override;
  void Command3_Click() override;
  void Command4_Click() override;
  void Command5_Click() override;
  void Command6_Click() override;

  // What exit does once both windows are closed; by default it ends the
  // event loop. Tests replace it to stay alive.
  void SetQuitHook(std::function<void()> hook) { quitHook_ = std::move(hook); }

  Form1Context& Context() { return *context_; }
  // The about window; null until the first about command.
  Form2* AboutWindow() const { return form2_.get(); }
  RepaintPacer& Pacer() { return pacer_; }

 private:
  // Runs a handler under the busy policy; a failure that escapes it is
  // shown, not left to end the program. A request to close a window made
  // meanwhile is carried out once the handler has returned; a handler asked
  // for meanwhile does not run.
  void Guarded(void (Form1::*handler)());
  void RunShowingErrors(void (Form1::*handler)());
  void BuildControls(Platform& platform);
  // Which of the program's windows receiver is, or lies in.
  frontend::WindowRole RoleOf(const QObject& receiver) const;
  // The controls' final state on screen, however the pacer spaced their
  // repaints.
  void SyncControls();
  // Reads the mount table again and shows its drives in Drive1.
  void RefreshDrives();

  Platform& platform_;
  RepaintPacer pacer_;
  QtMessageBoxService messageBox_;
  // The controls are children of the window, which owns them.
  DriveListBox* drive1_ = nullptr;
  DirListBox* dir1_ = nullptr;
  FileListBox* file1_ = nullptr;
  StatusLabel* label1_ = nullptr;
  ListBox* list1_ = nullptr;
  ListBox* list2_ = nullptr;
  ListBox* list3_ = nullptr;
  QWidget* firstFocus_ = nullptr;
  std::unique_ptr<Form1Context> context_;
  std::unique_ptr<Form2> form2_;
  std::function<void()> quitHook_;
  frontend::BusyPolicy policy_;
  QtWindowLoop loop_;
  frontend::CommandRunner runner_{loop_, pacer_};
};

}  // namespace tidwen::qt

// The main window: the choose-types and results views over the drive, the
// junk types and the found files, and the six commands, as a Win32 window.
#pragma once

#include "platform/windows/win32.h"

#include <functional>
#include <memory>
#include <vector>

#include "frontend/common/busy_policy.h"
#include "frontend/common/command_runner.h"
#include "frontend/common/form1_handlers.h"
#include "frontend/common/repaint_pacer.h"
#include "frontend/win32/busy_loop.h"
#include "frontend/win32/controls.h"
#include "frontend/win32/message_box.h"
#include "frontend/win32/result_tooltip.h"
#include "frontend/win32/win32_ui.h"
#include "frontend/win32/window_builder.h"
#include "model/form1_context.h"
#include "platform/platform.h"

namespace tidwen::win32 {

class Form2;

class Form1 : public frontend::Form1Handlers {
 public:
  // platform must outlive the window. Creates the window hidden, runs
  // Form_Load; Show() shows it.
  explicit Form1(Platform& platform);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  void Show(int showCommand = SW_SHOWDEFAULT);
  HWND Hwnd() const { return hwnd_; }
  // Whether the window still exists: the close box destroys it.
  bool Open() const { return hwnd_ != nullptr; }

  void Form_Load() override;
  void Command1_Click() override;
  void Command2_Click() override;
  void Command3_Click() override;
  void Command4_Click() override;
  void Command5_Click() override;
  void Command6_Click() override;
  void Drive1_DropDown();  // the drives read afresh
  void Dir1_DblClick();    // open the chosen directory
  void Form_Enter();       // Enter: press the focused button or open the directory

  // What happens once no window of the program is left (exit, or the last
  // close box); by default it ends the message loop. Tests replace it.
  void SetQuitHook(std::function<void()> hook) { quitHook_ = std::move(hook); }

  Form1Context& Context() { return *context_; }
  CheckListBox& List1() { return *list1_; }
  CheckListBox& List2() { return *list2_; }
  DirListBox& Dir1() { return *dir1_; }
  // The results list's tooltip.
  HWND ResultTip() const { return resultTip_ ? resultTip_->Hwnd() : nullptr; }
  RepaintPacer& Pacer() { return pacer_; }
  // The about window; null until the first about command and after it was
  // closed.
  Form2* AboutWindow() const { return form2_.get(); }
  // Whether a handler is running now.
  bool Busy() const { return policy_.Busy(); }

  // Passes a message to the window's keyboard interface (Tab, Enter,
  // arrows); true when it was used. The message loop calls it first.
  bool PreTranslate(MSG& message);

 private:
  // What a control's notification runs, and whether under the guard.
  struct Route {
    int id;
    WORD code;
    void (Form1::*handler)();
    bool guarded;
  };
  static const Route* RouteOf(int id, WORD code);

  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildControls();
  // Places every control and makes its font for the DPI.
  void Layout(UINT dpi);
  // The working directory, as a path of the system; empty when unknown.
  static std::string WorkingDirectory();
  void RefreshDrives();
  // Runs a handler under the busy policy; a failure that escapes it is
  // shown, not left to end the program. A close request made meanwhile is
  // carried out once it returns; a handler asked for meanwhile does not run.
  void Guarded(void (Form1::*handler)());
  void RunShowingErrors(void (Form1::*handler)());
  // Which of the program's windows a message is aimed at.
  frontend::WindowRole RoleOf(HWND window) const;
  // Whether the busy policy drops a message the loop took during a command;
  // a close asked for by the mouse or keyboard is held.
  bool DropsWhileBusy(const MSG& message);
  // Handles a message as the program's message loop does.
  void Dispatch(MSG& message);
  void AboutClosed();
  void QuitIfLast();

  Platform& platform_;
  HWND hwnd_ = nullptr;
  RepaintPacer pacer_;
  Win32MessageBoxService messageBox_;
  std::unique_ptr<DriveComboBox> drive1_;
  std::unique_ptr<DirListBox> dir1_;
  std::unique_ptr<FileListBox> file1_;
  std::unique_ptr<StatusLabel> label1_;
  std::unique_ptr<CheckListBox> list1_, list2_, list3_;
  std::unique_ptr<WindowControls> controls_;
  std::unique_ptr<ResultToolTip> resultTip_;
  FocusMemory focus_;
  HBITMAP logo_ = nullptr;
  std::unique_ptr<Form1Context> context_;
  std::unique_ptr<Form2> form2_;
  std::function<void()> quitHook_;
  bool scanning_ = false;
  frontend::BusyPolicy policy_;
  BusyLoop loop_{[this](const MSG& message) { return DropsWhileBusy(message); },
                 [this](MSG& message) { Dispatch(message); }};
  frontend::CommandRunner runner_{loop_, pacer_};
};

}  // namespace tidwen::win32

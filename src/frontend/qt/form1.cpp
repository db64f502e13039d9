#include "frontend/qt/form1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QWindow>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "frontend/common/command_failure.h"
#include "frontend/common/file_tooltip.h"
#include "frontend/common/form1_commands.h"
#include "frontend/common/worker_commands.h"
#include "frontend/qt/file_system_boxes.h"
#include "frontend/qt/form2.h"
#include "frontend/qt/list_box.h"
#include "frontend/qt/picture_box.h"
#include "frontend/qt/resources.h"
#include "frontend/qt/status_label.h"
#include "frontend/qt/window_builder.h"
#include "frontend/qt/window_style.h"
#include "model/display_text.h"
#include "model/runtime_error.h"
#include "rules/junk_rules.h"

namespace tidwen::qt {

namespace {

std::string CurrentDirectory() {
  std::error_code error;
  const std::filesystem::path cwd = std::filesystem::current_path(error);
  return error ? std::string() : cwd.native();
}

}  // namespace

Form1::Form1(Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window),
      platform_(platform),
      messageBox_(this),
      quitHook_([] { QCoreApplication::exit(0); }) {
  loop_.SetRunner(&runner_);
  SetUpWindow(*this, frontend::Form1Description());
  BuildControls(platform);
  // The window's directory and file lists stand in front of the platform's
  // listers, so that they show what the listers list.
  context_ = std::make_unique<Form1Context>(
      MakeForm1Context({*list1_, *list2_, *list3_, *label1_, *drive1_},
                       {*dir1_, *file1_, platform.FileLength(), platform.FileSystem()},
                       messageBox_));
  if (const char letter = ::tidwen::OpenStartDirectory(*context_, platform_, CurrentDirectory())) {
    drive1_->ChooseDrive(letter);
  }
  platform_.ReleaseHandles();
  // The focus starts on the first control in tab order.
  if (firstFocus_) firstFocus_->setFocus();
  Guarded(&Form1::Form_Load);
}

Form1::~Form1() {
  form2_.reset();
  context_.reset();
  // The controls use the pacer, a member that goes before the QWidget base
  // would delete them: delete them now.
  const QObjectList controls = children();
  qDeleteAll(controls);
}

void Form1::BuildControls(Platform& platform) {
  using frontend::ControlKind;
  const frontend::WindowDescription& layout = frontend::Form1Description();
  // The lists and the status line are the window's own kinds.
  const std::vector<QWidget*> built =
      qt::BuildControls(*this, layout, [&](const frontend::ControlDescription& c, QWidget* parent) {
        switch (c.kind) {
          case ControlKind::kDriveList:
            return static_cast<QWidget*>(new DriveListBox(platform.Drives(), parent));
          case ControlKind::kDirList:
            return static_cast<QWidget*>(new DirListBox(platform.Dir1(), parent));
          case ControlKind::kFileList:
            return static_cast<QWidget*>(new FileListBox(platform.File1(), parent));
          case ControlKind::kCheckList:
          case ControlKind::kPlainList:
            return static_cast<QWidget*>(
                new ListBox(c.kind == ControlKind::kCheckList, pacer_, parent));
          default:
            return c.name == "Label1" ? static_cast<QWidget*>(new StatusLabel(pacer_, parent))
                                      : nullptr;
        }
      });
  const std::vector<const frontend::ControlDescription*> order = frontend::TabOrder(layout);
  if (!order.empty()) firstFocus_ = ControlNamed<QWidget>(layout, built, order.front()->name);
  drive1_ = ControlNamed<DriveListBox>(layout, built, "Drive1");
  dir1_ = ControlNamed<DirListBox>(layout, built, "Dir1");
  file1_ = ControlNamed<FileListBox>(layout, built, "File1");
  label1_ = ControlNamed<StatusLabel>(layout, built, "Label1");
  list1_ = ControlNamed<ListBox>(layout, built, "List1");
  list2_ = ControlNamed<ListBox>(layout, built, "List2");
  list3_ = ControlNamed<ListBox>(layout, built, "List3");

  // While a command runs, the platform's listers and services are its
  // worker's: the drives are not read, no directory is opened, no file
  // described.
  drive1_->SetBeforePopup([this] {
    if (!policy_.Busy()) RefreshDrives();
  });
  dir1_->SetMayOpen([this] { return !policy_.Busy(); });
  // Browsing leaves nothing open on the drive.
  dir1_->SetAfterOpen([this] { platform_.ReleaseHandles(); });
  list1_->Model().SetToolTipProvider([this, &platform](std::string_view drivePath) {
    if (policy_.Busy()) return QString();
    return ToQString(frontend::ResultToolTip(platform, drivePath));
  });

  // Each command button runs its handler.
  static constexpr std::pair<std::string_view, void (Form1::*)()> kCommands[] = {
      {"Command1", &Form1::Command1_Click}, {"Command2", &Form1::Command2_Click},
      {"Command3", &Form1::Command3_Click}, {"Command4", &Form1::Command4_Click},
      {"Command5", &Form1::Command5_Click}, {"Command6", &Form1::Command6_Click}};
  for (const auto& [name, handler] : kCommands) {
    connect(ControlNamed<QPushButton>(layout, built, name), &QPushButton::clicked, this,
            [this, handler = handler] { Guarded(handler); });
  }
}

void Form1::RefreshDrives() {
  if (platform_.RefreshDrives()) drive1_->Reload(platform_.Drives());
}

void Form1::Guarded(void (Form1::*handler)()) {
  // A command never starts inside another.
  if (!policy_.Begin()) return;
  {
    const BusyFilter filter(policy_, [this](const QObject& receiver) { return RoleOf(receiver); });
    RunShowingErrors(handler);
    SyncControls();
    // Whatever the handler opened on a drive is closed when it returns (its
    // worker has ended), so that no drive stays busy between commands.
    platform_.ReleaseHandles();
  }
  // Closes held meanwhile are carried out now, as they would have been had
  // they come now.
  for (const frontend::WindowRole role : policy_.End()) {
    QWidget* window =
        role == frontend::WindowRole::kMain ? static_cast<QWidget*>(this) : form2_.get();
    if (window)
      QMetaObject::invokeMethod(
          window, [window] { window->close(); }, Qt::QueuedConnection);
  }
}

frontend::WindowRole Form1::RoleOf(const QObject& receiver) const {
  const QWidget* window = nullptr;
  if (receiver.isWidgetType()) {
    window = static_cast<const QWidget&>(receiver).window();
  } else if (receiver.isWindowType()) {
    if (&receiver == static_cast<const QObject*>(windowHandle()))
      return frontend::WindowRole::kMain;
    if (form2_ && &receiver == static_cast<const QObject*>(form2_->windowHandle())) {
      return frontend::WindowRole::kAbout;
    }
  }
  if (window == this) return frontend::WindowRole::kMain;
  if (window != nullptr && window == form2_.get()) return frontend::WindowRole::kAbout;
  return frontend::WindowRole::kOther;
}

void Form1::SyncControls() {
  for (ListBox* list : {list1_, list2_, list3_}) list->Sync();
  label1_->Sync();
}

void Form1::RunShowingErrors(void (Form1::*handler)()) {
  frontend::RunShowingFailure(messageBox_, [&] { (this->*handler)(); });
}

// Form_Load: fills the junk types, all checked, and opens the types view.
void Form1::Form_Load() { ::tidwen::Form_Load(*context_); }

// Scan: the results view, then the chosen drive breadth-first, walked on a
// worker while the window stays painted.
void Form1::Command1_Click() {
  // Drives mounted or gone since the list was last read count now; a chosen
  // drive that is gone scans as empty.
  RefreshDrives();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  struct Restorer {
    ~Restorer() { QApplication::restoreOverrideCursor(); }
  } restorer;
  frontend::Command1_Click(*context_,
                           {platform_.Dir1(), platform_.File1(), platform_.FileLength(),
                            platform_.FileSystem()},
                           runner_);
}

// Delete: after a confirmation, the files of the checked results, deleted
// on a worker; each failure's box is shown here.
void Form1::Command2_Click() { frontend::Command2_Click(*context_, runner_); }

// Choose types: back to the types view, the results emptied.
void Form1::Command3_Click() { ::tidwen::Command3_Click(*context_); }

// Exit: both windows go at once.
void Form1::Command4_Click() {
  // Both windows go at once; nothing is asked and no other handler runs.
  if (form2_) form2_->hide();
  hide();
  if (quitHook_) quitHook_();
}

// Select all: every result and junk types 0 to 14 checked.
void Form1::Command5_Click() { ::tidwen::Command5_Click(*context_); }

// About: the one about window, made on first use, shown modelessly.
void Form1::Command6_Click() {
  if (!form2_) form2_ = std::make_unique<Form2>();
  form2_->show();
  form2_->raise();
  form2_->activateWindow();
}

}  // namespace tidwen::qt

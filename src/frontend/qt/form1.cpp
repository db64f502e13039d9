#include "frontend/qt/form1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "clean/cleaner.h"
#include "frontend/common/command_failure.h"
#include "frontend/common/file_tooltip.h"
#include "frontend/common/form1_commands.h"
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
#include "scan/drive_walk.h"

namespace tidwen::qt {

namespace {

// Drops the user's input while installed. A scan keeps the event loop
// waiting, so clicks and keys made meanwhile queue up; they were aimed at a
// window that takes no input while it scans, and must not run commands once
// the scan is over.
class InputSwallower : public QObject {
 public:
  InputSwallower() { QCoreApplication::instance()->installEventFilter(this); }
  ~InputSwallower() override { QCoreApplication::instance()->removeEventFilter(this); }

  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
        return true;
      default:
        return false;
    }
  }
};

// Keeps the close requests that reach the windows while a handler runs and
// carries them out once it has returned, which is when they would have
// arrived had the handler not let events through: a window never goes away
// under a handler.
class CloseKeeper : public QObject {
 public:
  explicit CloseKeeper(std::initializer_list<QWidget*> windows) {
    for (QWidget* window : windows) {
      if (!window) continue;
      window->installEventFilter(this);
      watched_.append(window);
    }
  }
  ~CloseKeeper() override {
    for (const QPointer<QWidget>& window : watched_) {
      if (window) window->removeEventFilter(this);
    }
    for (const QPointer<QWidget>& window : kept_) {
      if (!window) continue;
      QMetaObject::invokeMethod(
          window, [w = window.data()] { w->close(); }, Qt::QueuedConnection);
    }
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Close || !watched->isWidgetType()) return false;
    event->ignore();
    auto* window = static_cast<QWidget*>(watched);
    if (!kept_.contains(window)) kept_.append(window);
    return true;
  }

 private:
  QList<QPointer<QWidget>> watched_;
  QList<QPointer<QWidget>> kept_;
};

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

  drive1_->SetBeforePopup([this] { RefreshDrives(); });
  // Browsing leaves nothing open on the drive.
  dir1_->SetAfterOpen([this] { platform_.ReleaseHandles(); });
  list1_->Model().SetToolTipProvider([&platform](std::string_view drivePath) {
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
  // Handlers never nest (input is blocked while one runs), but a box shown
  // by one must not start a second keeper that would close too early.
  if (inHandler_) {
    RunShowingErrors(handler);
    return;
  }
  inHandler_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{inHandler_};
  // Whatever the handler opened on a drive is closed when it returns, so
  // that no drive stays busy between commands.
  struct Release {
    Platform& platform;
    ~Release() { platform.ReleaseHandles(); }
  } release{platform_};
  const CloseKeeper keeper{this, form2_.get()};
  RunShowingErrors(handler);
}

void Form1::RunShowingErrors(void (Form1::*handler)()) {
  frontend::RunShowingFailure(messageBox_, [&] { (this->*handler)(); });
}

// Form_Load: fills the junk types, all checked, and opens the types view.
void Form1::Form_Load() { ::tidwen::Form_Load(*context_); }

// Scan: the results view, then the chosen drive breadth-first.
void Form1::Command1_Click() {
  // Drives mounted or gone since the list was last read count now; a chosen
  // drive that is gone scans as empty.
  RefreshDrives();
  // Swallows input from the start, so the drain below drops what queued up.
  InputSwallower swallower;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // At each round of repaints the window system's other events are handled
  // too: an uncovered window gets painted and the desktop's pings answered,
  // so the window is never taken for hung. Input stays with the swallower.
  pacer_.SetAfterRound([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
  struct Restorer {
    RepaintPacer& pacer;
    ~Restorer() {
      pacer.SetAfterRound({});
      QApplication::restoreOverrideCursor();
    }
  } restorer{pacer_};
  ::tidwen::Command1_Click(*context_);
  // Fetch and drop the input that arrived during the scan; paint the final
  // caption and list on the way.
  QGuiApplication::sync();
}

// Delete: after a confirmation, the files of the checked results.
void Form1::Command2_Click() { ::tidwen::Command2_Click(*context_); }

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

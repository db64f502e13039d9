#include "frontend/qt/form1.h"

#include <sys/stat.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
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
#include "model/display_text.h"
#include "model/runtime_error.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"
#include "frontend/qt/file_system_boxes.h"
#include "frontend/qt/form2.h"
#include "frontend/qt/list_box.h"
#include "frontend/qt/picture_box.h"
#include "frontend/qt/resources.h"
#include "frontend/qt/status_label.h"
#include "frontend/qt/window_style.h"
#include "frontend/common/form1_commands.h"

namespace tidwen::qt {

namespace {

const QColor kWindowColor(255, 192, 128);
const QColor kFileListColor(192, 255, 192);
const QColor kResultListColor(255, 255, 192);
const QColor kButtonColor(192, 64, 0);

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
      QMetaObject::invokeMethod(window, [w = window.data()] { w->close(); },
                                Qt::QueuedConnection);
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

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  // From the top left of the box, as the platform draws its labels.
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(geometry);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

// A command button that Enter presses as Space does. A plain QPushButton
// takes Enter only as a dialog's default button.
class CommandButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
      click();
      return;
    }
    QPushButton::keyPressEvent(event);
  }
};

QPushButton* AddButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* button = new CommandButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  SetColor(*button, QPalette::Button, kButtonColor);
  button->setStyle(FlatControlStyle());
  // The caption's blanks only space its two characters out.
  button->setAccessibleName(caption.simplified().remove(' '));
  return button;
}

// A result's tooltip: where its file really is, its size and when it was
// last changed, read when the tooltip is about to show.
QString ResultToolTip(const Platform& platform, std::string_view drivePath) {
  const std::optional<std::string> posix = platform.SystemPathOf(drivePath);
  const QString where = QString::fromStdString(DisplayText(posix ? *posix : drivePath));
  struct stat info {};
  if (!posix || ::lstat(posix->c_str(), &info) != 0)
    return where + QStringLiteral("\n找不到该文件");
  const QString modified =
      QDateTime::fromSecsSinceEpoch(info.st_mtime).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  return QStringLiteral("%1\n大小: %2 字节\n修改时间: %3")
      .arg(where)
      .arg(static_cast<qint64>(info.st_size))
      .arg(modified);
}

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
  SetUpWindow(*this, "Form1", QSize(Twips(9405), Twips(4290)));
  SetBackground(*this, kWindowColor);

  BuildControls(platform);
  // The window's directory and file lists stand in front of the platform's
  // listers, so that they show what the listers list.
  context_ = std::make_unique<Form1Context>(
      MakeForm1Context({*list1_, *list2_, *list3_, *label1_, *drive1_},
                       {*dir1_, *file1_, platform.FileLength(), platform.FileSystem()}, messageBox_));
  if (const char letter = ::tidwen::OpenStartDirectory(*context_, platform_, CurrentDirectory())) {
    drive1_->ChooseDrive(letter);
  }
  platform_.ReleaseHandles();
  drive1_->setFocus();
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
  // Made in the order they stack, lowest first: the headings lie on the
  // window's surface beneath the lists.
  auto* label3 = AddLabel(this, "Label3", QStringLiteral("  当前文件夹的所有文件"),
                          TwipsRect(4080, 240, 2535, 255));
  auto* label4 = AddLabel(this, "Label4", QStringLiteral("  请选择扫描的文件类型"),
                          TwipsRect(6720, 240, 2415, 255));
  for (QLabel* heading : {label3, label4}) {
    SetBackground(*heading, kWindowColor);
    heading->setAccessibleName(heading->text().trimmed());
  }

  drive1_ = new DriveListBox(platform.Drives(), this);
  drive1_->setObjectName("Drive1");
  drive1_->setGeometry(TwipsRect(2160, 240, 1815, 300));
  SetColor(*drive1_, QPalette::Button, kWindowColor);
  SetColor(*drive1_, QPalette::Base, kWindowColor);
  drive1_->setStyle(FlatControlStyle());
  drive1_->setAccessibleName(QStringLiteral("驱动器"));
  drive1_->SetBeforePopup([this] { RefreshDrives(); });

  dir1_ = new DirListBox(platform.Dir1(), this);
  dir1_->setObjectName("Dir1");
  dir1_->setGeometry(TwipsRect(2160, 600, 1815, 2820));
  SetColor(*dir1_, QPalette::Base, kFileListColor);
  dir1_->setAccessibleName(QStringLiteral("文件夹"));
  // Browsing leaves nothing open on the drive.
  dir1_->SetAfterOpen([this] { platform_.ReleaseHandles(); });

  file1_ = new FileListBox(platform.File1(), this);
  file1_->setObjectName("File1");
  file1_->setGeometry(TwipsRect(4080, 600, 2415, 2730));
  SetColor(*file1_, QPalette::Base, kFileListColor);
  file1_->setAccessibleName(QStringLiteral("文件"));

  frame1_ = new QFrame(this);
  frame1_->setObjectName("Frame1");
  frame1_->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame1_->setGeometry(TwipsRect(360, 3480, 8655, 735));
  SetBackground(*frame1_, kWindowColor);
  frame1_->setAccessibleName(QStringLiteral("状态栏"));

  label1_ = new StatusLabel(pacer_, frame1_);
  label1_->setObjectName("Label1");
  label1_->setGeometry(TwipsRect(120, 120, 8295, 375));
  SetBackground(*label1_, kWindowColor);

  list2_ = new ListBox(true, pacer_, this);
  list2_->setObjectName("List2");
  list2_->setGeometry(TwipsRect(6600, 600, 2415, 2790));
  SetColor(*list2_, QPalette::Base, kFileListColor);
  list2_->setAccessibleName(QStringLiteral("扫描的文件类型"));

  list1_ = new ListBox(true, pacer_, this);
  list1_->setObjectName("List1");
  list1_->setGeometry(TwipsRect(2160, 240, 6855, 3210));
  SetColor(*list1_, QPalette::Base, kResultListColor);
  SetColor(*list1_, QPalette::Text, kActiveTitleBarColor);
  list1_->setAccessibleName(QStringLiteral("找到的垃圾文件"));
  list1_->Model().SetToolTipProvider(
      [&platform](std::string_view drivePath) { return ResultToolTip(platform, drivePath); });

  list3_ = new ListBox(false, pacer_, this);
  list3_->setObjectName("List3");
  list3_->setGeometry(TwipsRect(6720, 240, 2295, 2760));
  list3_->setFocusPolicy(Qt::NoFocus);
  list3_->setAccessibleName(QStringLiteral("待扫描的文件夹"));

  picture1_ = new PictureBox(LogoPixmap(), this);
  picture1_->setObjectName("Picture1");
  picture1_->setGeometry(TwipsRect(360, 240, 1695, 1095));
  picture1_->setFocusPolicy(Qt::StrongFocus);
  // The box keeps the platform's colour rather than the window's.
  SetBackground(*picture1_, QApplication::palette().color(QPalette::Window));
  picture1_->setAccessibleName(QStringLiteral("Tidwen 标志"));

  auto* label2 = AddLabel(picture1_, "Label2", QStringLiteral("Tidwen"),
                          TwipsRect(120, 120, 1335, 375));
  label2->setFont(MakeFont(kHuawenZhongsong, 14.25, true, true));
  SetColor(*label2, QPalette::WindowText, QColor(255, 0, 0));

  auto* command5 = AddButton(this, "Command5", QStringLiteral("全       选"),
                             TwipsRect(360, 2400, 1695, 375));
  auto* command4 = AddButton(this, "Command4", QStringLiteral("退       出"),
                             TwipsRect(360, 3120, 1695, 375));
  auto* command3 = AddButton(this, "Command3", QStringLiteral("选择扫描类型"),
                             TwipsRect(360, 2040, 1695, 375));
  auto* command2 = AddButton(this, "Command2", QStringLiteral("删       除"),
                             TwipsRect(360, 1680, 1695, 375));
  auto* command1 = AddButton(this, "Command1", QStringLiteral("扫      描"),
                             TwipsRect(360, 1320, 1695, 375));
  command1->setFont(MakeFont(kSongTi, 10.5));

  auto* label5 = AddLabel(picture1_, "Label5", QStringLiteral("Orvanta"),
                          TwipsRect(120, 480, 1455, 255));
  auto* label6 = AddLabel(picture1_, "Label6", QStringLiteral("orv@example.com"),
                          TwipsRect(0, 720, 1455, 255));
  for (QLabel* label : {label2, label5, label6}) label->setAccessibleName(label->text());
  for (QLabel* label : {label5, label6}) {
    label->setFont(MakeFont(kSongTi, 9, false, true));
    SetColor(*label, QPalette::WindowText, QColor(255, 255, 0));
  }

  auto* command6 = AddButton(this, "Command6", QStringLiteral("关       于"),
                             TwipsRect(360, 2760, 1695, 375));

  const QList<QWidget*> tabOrder{drive1_,  dir1_,    file1_,   list2_,   list1_,   picture1_,
                                 command5, command4, command3, command2, command1, command6};
  for (qsizetype i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

  connect(command1, &QPushButton::clicked, this, [this] { Guarded(&Form1::Command1_Click); });
  connect(command2, &QPushButton::clicked, this, [this] { Guarded(&Form1::Command2_Click); });
  connect(command3, &QPushButton::clicked, this, [this] { Guarded(&Form1::Command3_Click); });
  connect(command4, &QPushButton::clicked, this, [this] { Guarded(&Form1::Command4_Click); });
  connect(command5, &QPushButton::clicked, this, [this] { Guarded(&Form1::Command5_Click); });
  connect(command6, &QPushButton::clicked, this, [this] { Guarded(&Form1::Command6_Click); });
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
  try {
    (this->*handler)();
  } catch (const RuntimeError& error) {
    messageBox_.MsgBox("发生错误" + std::to_string(error.Number()), MsgBoxButtons::kOkOnly,
                       MsgBoxIcon::kNone, "");
  } catch (const std::bad_alloc&) {
    messageBox_.MsgBox("发生错误" + std::to_string(kOutOfMemory), MsgBoxButtons::kOkOnly,
                       MsgBoxIcon::kNone, "");
  } catch (const std::exception&) {
    messageBox_.MsgBox("发生错误" + std::to_string(kInternalError), MsgBoxButtons::kOkOnly,
                       MsgBoxIcon::kNone, "");
  }
}

void Form1::Form_Load() { ::tidwen::Form_Load(*context_); }

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
  pacer_.SetAfterRound(
      [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
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

void Form1::Command2_Click() { ::tidwen::Command2_Click(*context_); }

void Form1::Command3_Click() { ::tidwen::Command3_Click(*context_); }

void Form1::Command4_Click() {
  // Both windows go at once; nothing is asked and no other handler runs.
  if (form2_) form2_->hide();
  hide();
  if (quitHook_) quitHook_();
}

void Form1::Command5_Click() { ::tidwen::Command5_Click(*context_); }

void Form1::Command6_Click() {
  if (!form2_) form2_ = std::make_unique<Form2>();
  form2_->show();
  form2_->raise();
  form2_->activateWindow();
}

}  // namespace tidwen::qt

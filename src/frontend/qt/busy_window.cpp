#include "frontend/qt/busy_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMetaObject>
#include <QTimer>
#include <optional>

namespace tidwen::qt {

namespace {

using frontend::InputKind;

// What the user's input asks for; nullopt for anything that is no input.
std::optional<InputKind> InputKindOf(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
      return InputKind::kPress;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
      return InputKind::kKey;
    case QEvent::MouseMove:
    case QEvent::TabletMove:
      return InputKind::kPointer;
    case QEvent::ToolTip:
    case QEvent::WhatsThis:
    case QEvent::QueryWhatsThis:
      return InputKind::kHelp;
    default:
      return std::nullopt;
  }
}

}  // namespace

BusyFilter::BusyFilter(frontend::BusyPolicy& policy, RoleOf roleOf)
    : policy_(policy), roleOf_(std::move(roleOf)) {
  QCoreApplication::instance()->installEventFilter(this);
}

BusyFilter::~BusyFilter() { QCoreApplication::instance()->removeEventFilter(this); }

bool BusyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    // The window's own close event, after its QWindow's: ignored, it keeps
    // the window open.
    if (!watched->isWidgetType() ||
        policy_.OnClose(roleOf_(*watched)) != frontend::Verdict::kHoldClose) {
      return false;
    }
    event->ignore();
    return true;
  }
  const std::optional<InputKind> kind = InputKindOf(event->type());
  return kind && policy_.OnInput(*kind, roleOf_(*watched)) != frontend::Verdict::kPass;
}

void QtWindowLoop::Drain() {
  if (runner_) runner_->Drain();
}

void QtWindowLoop::Wake() {
  // From the worker: a queued call on the window's thread.
  QMetaObject::invokeMethod(
      this, [this] { Drain(); }, Qt::QueuedConnection);
}

void QtWindowLoop::WakeAfter(std::chrono::milliseconds delay) {
  QTimer::singleShot(delay, Qt::PreciseTimer, this, [this] { Drain(); });
}

void QtWindowLoop::Run() {
  quit_ = false;
  while (!quit_) {
    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
    // The application is ending and tells its loops to end: the command
    // still ends first, its events handled meanwhile.
    if (!quit_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  // Fetch the input that reached the window system by now, so that the
  // policy drops it rather than leave it to run commands afterwards.
  QGuiApplication::sync();
}

void QtWindowLoop::Quit() {
  quit_ = true;
  if (loop_) loop_->quit();
}

}  // namespace tidwen::qt

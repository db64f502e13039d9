// Helpers for the window tests: a main window over a temporary drive, and a
// user who answers message boxes.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "frontend/qt/file_system_boxes.h"
#include "frontend/qt/form1.h"
#include "frontend/qt/form2.h"
#include "frontend/qt/list_box.h"
#include "frontend/qt/status_label.h"
#include "platform/platform.h"
#include "support/temp_tree.h"

// Shows Qt texts readably in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace tidwen::test {

// The Qt windows under test.
using namespace ::tidwen::qt;

// A named child widget of the given type; fails the test when there is none.
template <class T>
T* Child(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << "no " << name;
  return child;
}

// Lets the event loop run until done() holds or the time is up; returns done().
template <class Done>
bool WaitFor(Done done, int milliseconds = 2000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < milliseconds) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return done();
}

inline bool ShowAndWait(QWidget& window) {
  window.show();
  return WaitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); });
}

// A left click at a point of a widget, as the window system would send it.
// A double click follows the first press and release with a double-click
// press and a second release.
inline void ClickAt(QWidget& widget, QPoint at, bool doubleClick = false) {
  const QPointF local(at), global(widget.mapToGlobal(at));
  const auto pressAndRelease = [&](QEvent::Type pressType) {
    QMouseEvent press(pressType, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    QApplication::sendEvent(&widget, &release);
  };
  pressAndRelease(QEvent::MouseButtonPress);
  if (doubleClick) pressAndRelease(QEvent::MouseButtonDblClick);
}

inline void ClickCentre(QWidget& widget) { ClickAt(widget, widget.rect().center()); }

// Clicks row of a view at a point on its text, right of any check box.
inline void ClickRow(QAbstractItemView& view, int row, bool doubleClick = false) {
  const QRect rect = view.visualRect(view.model()->index(row, 0));
  ClickAt(*view.viewport(), QPoint(rect.left() + rect.width() / 2, rect.center().y()), doubleClick);
}

inline void PressKey(QWidget& widget, Qt::Key key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(&widget, &press);
  QApplication::sendEvent(&widget, &release);
}

// Counts the paint events a widget receives from its construction on.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget& w) { w.installEventFilter(this); }
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    count += event->type() == QEvent::Paint;
    return false;
  }
};

// Calls a function with each event an object receives, from its
// construction to its end.
class EventHook : public QObject {
 public:
  EventHook(QObject& target, std::function<void(QEvent::Type)> on) : on_(std::move(on)) {
    target.installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    on_(event->type());
    return false;
  }

 private:
  std::function<void(QEvent::Type)> on_;
};

// Form1 over a platform whose only drive, c:, is a temporary tree.
// Exit hides the windows and sets quitCalled instead of ending the tests.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { platform_ = MakeDirectoryPlatform(tree_.Root()); }
  void TearDown() override {
    form_.reset();
    platform_.reset();
  }

  Form1& Form() {
    if (!form_) {
      form_ = std::make_unique<Form1>(*platform_);
      form_->SetQuitHook([this] { quitCalled_ = true; });
    }
    return *form_;
  }
  Form1& ShownForm() {
    EXPECT_TRUE(ShowAndWait(Form()));
    return *form_;
  }
  ListBox& List(const char* name) { return *Child<ListBox>(Form(), name); }
  QPushButton& Button(const char* name) { return *Child<QPushButton>(Form(), name); }
  void Click(const char* button) { ClickCentre(Button(button)); }
  // What Label1 shows on screen, and the bytes it holds.
  QString Label1Text() { return Child<StatusLabel>(Form(), "Label1")->text(); }
  std::string Label1Caption() { return Child<StatusLabel>(Form(), "Label1")->Caption(); }
  std::vector<std::string> Entries(const char* list) {
    std::vector<std::string> out;
    for (std::int64_t i = 0; i < List(list).ListCount(); ++i) out.emplace_back(List(list).List(i));
    return out;
  }

  TempTree tree_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<Form1> form_;
  bool quitCalled_ = false;
};

// What a message box showed.
struct SeenBox {
  QString text;
  QString title;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  Qt::TextFormat format = Qt::AutoText;
};

// Watches for modal message boxes and answers each with the next queued
// button, recording what it saw. A box with no answer queued is closed with
// Escape and recorded all the same, so a test never hangs on one.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::deque<QMessageBox::StandardButton> answers = {})
      : answers_(std::move(answers)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  const std::vector<SeenBox>& Seen() const { return seen_; }
  // Runs whenever a box is seen, before it is answered.
  void OnEachBox(std::function<void(QMessageBox&)> hook) { onEachBox_ = std::move(hook); }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    // A box may take the place of the last one at the same address, so mark
    // the boxes already seen.
    if (!box || box->property("answered").toBool()) return;
    box->setProperty("answered", true);
    SeenBox seen{box->text(),
                 box->windowTitle(),
                 box->standardButtons(),
                 box->defaultButton() ? box->standardButton(box->defaultButton())
                                      : QMessageBox::NoButton,
                 box->icon(),
                 box->textFormat()};
    seen_.push_back(seen);
    if (onEachBox_) onEachBox_(*box);
    if (answers_.empty()) {
      PressKey(*box, Qt::Key_Escape);
      return;
    }
    QAbstractButton* button = box->button(answers_.front());
    answers_.pop_front();
    if (button) {
      button->click();
    } else {
      ADD_FAILURE() << "the box has no such button: " << seen.text.toStdString();
      PressKey(*box, Qt::Key_Escape);
    }
  }

  QTimer timer_;
  std::deque<QMessageBox::StandardButton> answers_;
  std::vector<SeenBox> seen_;
  std::function<void(QMessageBox&)> onEachBox_;
};

}  // namespace tidwen::test

// The main window's start-up state and its commands: the two views, select
// all, about, exit, and closing the windows.
#include <QTreeWidget>

#include "gui_test_support.h"

namespace tidwen::test {
namespace {

// Ends a test's event loop with code 99 should it not end by itself; stops
// watching when the test ends.
class Watchdog {
 public:
  Watchdog() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    timer_.start(5000);
  }

 private:
  QTimer timer_;
};

class CommandsTest : public WindowTest {
 protected:
  // Which of the view's controls are shown, in a fixed order.
  std::string ShownControls() {
    std::string shown;
    for (const char* name : {"Drive1", "Dir1", "File1", "List2", "List1", "List3"}) {
      if (!Child<QWidget>(Form(), name)->isHidden())
        shown += std::string(shown.empty() ? "" : " ") + name;
    }
    return shown;
  }
  static constexpr const char* kChooseTypesView = "Drive1 Dir1 File1 List2";
  static constexpr const char* kResultsView = "List1";

  std::vector<bool> Marks(const char* list) {
    std::vector<bool> marks;
    for (std::int64_t i = 0; i < List(list).ListCount(); ++i)
      marks.push_back(List(list).Selected(i));
    return marks;
  }
};

TEST_F(CommandsTest, StartsInTheChooseTypesViewWithEveryTypeChecked) {
  tree_.MakeFile("a.tmp", "x");
  Form1& form = ShownForm();
  form.activateWindow();
  EXPECT_EQ(ShownControls(), kChooseTypesView);
  EXPECT_EQ(form.focusWidget(), Child<QWidget>(form, "Drive1"));
  EXPECT_EQ(Marks("List2"), std::vector<bool>(16, true));
  // What is on screen agrees with the list's own state.
  QAbstractItemModel* types = List("List2").model();
  ASSERT_EQ(types->rowCount(), 16);
  EXPECT_EQ(types->index(15, 0).data().toString(), "0字节");
  EXPECT_EQ(types->index(15, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(Label1Caption(), "");
  EXPECT_EQ(List("List1").ListCount(), 0);
  EXPECT_EQ(List("List3").ListCount(), 0);
  // The drive list offers the drive; the file list shows the root's files,
  // since the working directory lies on no drive.
  EXPECT_EQ(Child<DriveListBox>(form, "Drive1")->Drive().substr(0, 2), "c:");
  EXPECT_EQ(Child<FileListBox>(form, "File1")->model()->rowCount(), 1);
}

TEST_F(CommandsTest, SelectAllChecksResultsAndTheFirstFifteenTypesOnly) {
  tree_.MakeFile("a.tmp", "x");
  tree_.MakeFile("d/b.bak", "x");
  tree_.MakeFile("d/e/c.old", "x");
  ShownForm();
  // In the choose-types view, with every type unchecked: fifteen come back,
  // the zero-length type stays unchecked.
  for (int i = 0; i < 16; ++i) List("List2").SetSelected(i, false);
  Click("Command5");
  std::vector<bool> fifteen(16, true);
  fifteen[15] = false;
  EXPECT_EQ(Marks("List2"), fifteen);
  EXPECT_EQ(ShownControls(), kChooseTypesView);

  // In the results view, three results: all checked, and the hidden type list
  // still gets its first fifteen checked.
  Click("Command1");
  ASSERT_EQ(List("List1").ListCount(), 3);
  List("List2").SetSelected(3, false);
  Click("Command5");
  EXPECT_EQ(Marks("List1"), std::vector<bool>(3, true));
  EXPECT_EQ(Marks("List2"), fifteen);
  EXPECT_EQ(ShownControls(), kResultsView);
  QApplication::processEvents();
  EXPECT_EQ(List("List1").model()->index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
}

TEST_F(CommandsTest, ChooseTypesEmptiesResultsAndQueueButKeepsTypesAndStatus) {
  tree_.MakeFile("a.tmp", "x");
  tree_.MakeFile("sub/deeper/b.bak", "x");
  Form1& form = ShownForm();
  List("List2").SetSelected(8, false);  // *.tmp
  Click("Command1");
  EXPECT_EQ(ShownControls(), kResultsView);
  EXPECT_EQ(Entries("List1"), std::vector<std::string>{"c:\\sub\\deeper\\b.bak"});
  EXPECT_EQ(Entries("List3"), (std::vector<std::string>{"c:\\sub", "c:\\sub\\deeper"}));
  const std::string status = Label1Caption();
  EXPECT_EQ(status, "共找到 1个垃圾文件");

  Click("Command3");
  EXPECT_EQ(ShownControls(), kChooseTypesView);
  EXPECT_EQ(List("List1").ListCount(), 0);
  EXPECT_EQ(List("List3").ListCount(), 0);
  EXPECT_EQ(List("List1").model()->rowCount(), 0);
  std::vector<bool> marks(16, true);
  marks[8] = false;
  EXPECT_EQ(Marks("List2"), marks);
  EXPECT_EQ(Label1Caption(), status);
  // The directory and file lists show where the walk ended, now that they
  // are shown again.
  auto* dir1 = Child<QTreeWidget>(form, "Dir1");
  ASSERT_NE(dir1->currentItem(), nullptr);
  EXPECT_EQ(dir1->currentItem()->text(0), "deeper");
  EXPECT_EQ(Child<QAbstractItemView>(form, "File1")->model()->index(0, 0).data().toString(),
            "b.bak");

  // A second press changes nothing.
  Click("Command3");
  EXPECT_EQ(ShownControls(), kChooseTypesView);
  EXPECT_EQ(List("List1").ListCount(), 0);
  EXPECT_EQ(Marks("List2"), marks);
}

TEST_F(CommandsTest, AboutOpensOneModelessOwnerlessWindow) {
  Form1& form = ShownForm();
  EXPECT_EQ(form.AboutWindow(), nullptr);
  Click("Command6");
  Form2* about = form.AboutWindow();
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
  EXPECT_TRUE(about->isWindow());
  EXPECT_EQ(about->parentWidget(), nullptr);
  EXPECT_EQ(about->windowModality(), Qt::NonModal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  Click("Command6");
  EXPECT_EQ(form.AboutWindow(), about);
  EXPECT_EQ(QApplication::topLevelWidgets().count(about), 1);
  int aboutWindows = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    aboutWindows += qobject_cast<Form2*>(w) != nullptr;
  EXPECT_EQ(aboutWindows, 1);

  // Closed with its close box, it opens again with the next click.
  about->close();
  EXPECT_FALSE(about->isVisible());
  Click("Command6");
  EXPECT_TRUE(form.AboutWindow()->isVisible());
  // The main window goes on working meanwhile.
  Click("Command5");
  EXPECT_TRUE(List("List2").Selected(0));
}

// Enter presses the button that has the focus, as Space does.
TEST_F(CommandsTest, EnterAndSpacePressTheFocusedButton) {
  ShownForm();
  QPushButton& about = Button("Command6");
  int clicks = 0;
  QObject::connect(&about, &QPushButton::clicked, [&] { ++clicks; });
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Escape})
    PressKey(about, key);
  EXPECT_EQ(clicks, 3);
}

TEST_F(CommandsTest, ExitClosesBothWindowsAtOnce) {
  Form1& form = ShownForm();
  Click("Command6");
  Click("Command4");
  EXPECT_TRUE(quitCalled_);
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.AboutWindow()->isVisible());
}

// The real exit, inside a running event loop: the loop ends with code 0.
TEST_F(CommandsTest, ExitEndsTheEventLoop) {
  Form1 real(*platform_);  // with the default hook
  ASSERT_TRUE(ShowAndWait(real));
  ClickCentre(*Child<QPushButton>(real, "Command6"));
  QTimer::singleShot(0, &real, [&] { ClickCentre(*Child<QPushButton>(real, "Command4")); });
  const Watchdog watchdog;
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(real.isVisible());
  EXPECT_FALSE(real.AboutWindow()->isVisible());
}

// Closing the main window with its close box ends the program only once the
// about window is closed too.
TEST_F(CommandsTest, TheProgramEndsWhenItsLastWindowCloses) {
  Form1& form = ShownForm();
  Click("Command6");
  Form2* about = form.AboutWindow();
  ASSERT_TRUE(WaitFor([&] { return about->windowHandle() && about->windowHandle()->isExposed(); }));
  bool aboutStillOpen = false;
  QTimer::singleShot(0, &form, [&] { form.close(); });
  QTimer::singleShot(200, about, [&] {
    aboutStillOpen = about->isVisible();
    about->close();
  });
  const Watchdog watchdog;
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(aboutStillOpen);
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace tidwen::test

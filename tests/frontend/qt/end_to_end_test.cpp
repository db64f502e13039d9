// The whole program through its window on a temporary drive: real widgets,
// real files, real message boxes answered as a user would.
#include <fcntl.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QExposeEvent>
#include <QScrollBar>

#include "gui_test_support.h"
#include "pausing_platform.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/linux_test_support.h"

namespace tidwen::test {
namespace {

class EndToEndTest : public WindowTest {
 protected:
  // The row of List1 that shows this path.
  int RowOf(const QString& path) {
    QAbstractItemModel* model = List("List1").model();
    for (int row = 0; row < model->rowCount(); ++row) {
      if (model->index(row, 0).data().toString() == path) return row;
    }
    ADD_FAILURE() << "not listed: " << path.toStdString();
    return -1;
  }
  std::vector<std::string> SortedEntries() {
    std::vector<std::string> entries = Entries("List1");
    std::sort(entries.begin(), entries.end());
    return entries;
  }
};

TEST_F(EndToEndTest, ScanCheckAndDelete) {
  tree_.MakeFile("a.tmp", "data");
  tree_.MakeFile("keep.txt", "data");
  tree_.MakeFile("empty.log", "");
  tree_.MakeFile("docs/b.bak", "data");
  tree_.MakeFile("docs/c.old", "data");
  tree_.MakeFile("docs/ro.tmp", "data", 0444);
  ShownForm();

  {  // Nothing to delete yet.
    BoxAnswerer user({QMessageBox::Ok});
    Click("Command2");
    ASSERT_EQ(user.Seen().size(), 1u);
    const SeenBox& box = user.Seen()[0];
    EXPECT_EQ(box.text, "请选择删除项目!");
    EXPECT_EQ(box.title, "Tidwen");
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(Label1Caption(), "");
  }

  Click("Command1");
  EXPECT_EQ(SortedEntries(),
            (std::vector<std::string>{"c:\\a.tmp", "c:\\docs\\b.bak", "c:\\docs\\c.old",
                                      "c:\\docs\\ro.tmp", "c:\\empty.log"}));
  // The final caption and list are on screen once the scan is over.
  EXPECT_EQ(Label1Text(), "共找到 5个垃圾文件");
  EXPECT_EQ(List("List1").model()->rowCount(), 5);

  for (const char* path : {"c:\\a.tmp", "c:\\docs\\b.bak", "c:\\docs\\ro.tmp"})
    ClickRow(List("List1"), RowOf(path));
  int checked = 0;
  for (std::int64_t i = 0; i < 5; ++i) checked += List("List1").Selected(i);
  EXPECT_EQ(checked, 3);

  {  // No: nothing is touched.
    BoxAnswerer user({QMessageBox::No});
    Click("Command2");
    ASSERT_EQ(user.Seen().size(), 1u);
    const SeenBox& box = user.Seen()[0];
    EXPECT_EQ(box.text, "确实要删除这3项吗？");
    EXPECT_EQ(box.title, "三思而后行");
    EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.defaultButton, QMessageBox::Yes);
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_TRUE(tree_.Exists("a.tmp"));
    EXPECT_EQ(List("List1").ListCount(), 5);
    EXPECT_EQ(Label1Caption(), "还剩下 5个垃圾文件");
  }

  {  // Yes: the deletable files go, the read-only one is refused.
    BoxAnswerer user({QMessageBox::Yes, QMessageBox::Ok});
    Click("Command2");
    ASSERT_EQ(user.Seen().size(), 2u);
    const SeenBox& refused = user.Seen()[1];
    EXPECT_EQ(refused.text, "不能删除文件c:\\docs\\ro.tmp");
    EXPECT_EQ(refused.title, "Tidwen");
    EXPECT_EQ(refused.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(refused.icon, QMessageBox::NoIcon);
    EXPECT_EQ(refused.format, Qt::PlainText);
  }
  EXPECT_FALSE(tree_.Exists("a.tmp"));
  EXPECT_FALSE(tree_.Exists("docs/b.bak"));
  EXPECT_TRUE(tree_.Exists("docs/ro.tmp"));
  EXPECT_TRUE(tree_.Exists("keep.txt"));
  EXPECT_EQ(SortedEntries(),
            (std::vector<std::string>{"c:\\docs\\c.old", "c:\\docs\\ro.tmp", "c:\\empty.log"}));
  for (std::int64_t i = 0; i < List("List1").ListCount(); ++i) {
    EXPECT_EQ(List("List1").Selected(i), List("List1").List(i) == "c:\\docs\\ro.tmp");
  }
  QApplication::processEvents();
  EXPECT_EQ(Label1Text(), "还剩下 3个垃圾文件");
  EXPECT_EQ(List("List1").model()->rowCount(), 3);
}

// A result's tooltip tells where its file really is, its size and when it
// was last changed, as things stand when it shows.
TEST_F(EndToEndTest, AResultsToolTipShowsTheRealFile) {
  tree_.MakeFile("d/a.tmp", "data");
  const std::int64_t modified = 1796644800;  // 2026-12-07 12:00:00 UTC
  const timespec times[2] = {{modified, 0}, {modified, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, tree_.Path("d/a.tmp").c_str(), times, 0), 0);
  ShownForm();
  Click("Command1");
  QApplication::processEvents();
  const QModelIndex entry = List("List1").model()->index(0, 0);
  const QString real = QString::fromStdString(tree_.Path("d/a.tmp"));
  EXPECT_EQ(entry.data(Qt::ToolTipRole).toString(),
            real + "\n大小: 4 字节\n修改时间: " +
                QDateTime::fromSecsSinceEpoch(modified).toString("yyyy-MM-dd HH:mm:ss"));
  tree_.Remove("d/a.tmp");
  EXPECT_EQ(entry.data(Qt::ToolTipRole).toString(), real + "\n找不到该文件");
}

// Clicks and keys that queue up while a scan runs are dropped, not run as
// commands once it is over.
TEST_F(EndToEndTest, InputMadeDuringAScanIsDropped) {
  tree_.MakeFile("a.tmp", "data");
  ShownForm();
  QPushButton& chooseTypes = Button("Command3");
  const QPointF at = chooseTypes.rect().center();
  QApplication::postEvent(&chooseTypes,
                          new QMouseEvent(QEvent::MouseButtonPress, at, chooseTypes.mapToGlobal(at),
                                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
  QApplication::postEvent(&chooseTypes, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                        chooseTypes.mapToGlobal(at), Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
  Click("Command1");
  QApplication::processEvents();
  EXPECT_FALSE(List("List1").isHidden());
  EXPECT_EQ(List("List1").ListCount(), 1);
  // Input made afterwards works as usual.
  Click("Command3");
  EXPECT_TRUE(List("List1").isHidden());
}

// Events other than input are handled while a scan runs: a window uncovered
// as the scan shows its results is put back on screen before the scan ends.
// The window is uncovered while the walk, on its worker, is held at a file,
// which it measures only once the window's thread has handled the expose.
TEST_F(EndToEndTest, AWindowUncoveredDuringAScanIsShownBeforeItEnds) {
  tree_.MakeFile("d/a.tmp", "data");
  auto* paused = new PausingPlatform(std::move(platform_));
  platform_.reset(paused);
  Form1& form = ShownForm();
  Latch exposeHandled;
  paused->trigger = "c:\\d\\a.tmp";
  paused->hook = [&] {
    QApplication::postEvent(form.windowHandle(), new QExposeEvent(QRegion(form.rect())));
    exposeHandled.Wait();
  };
  std::vector<std::string> captionsAtExpose;
  const EventHook exposed(*form.windowHandle(), [&](QEvent::Type type) {
    if (type != QEvent::Expose) return;
    captionsAtExpose.push_back(Label1Caption());
    exposeHandled.Open();
  });
  Click("Command1");
  EXPECT_EQ(captionsAtExpose, std::vector<std::string>{"c:\\d\\a.tmp"});
}

// The window's thread is free while the walk runs on its worker: with the
// walk held at a file until the window's thread has handled an expose of
// the window, the expose is handled then, not after the scan.
TEST_F(EndToEndTest, TheWindowIsExposedWhileTheWalkIsHeldMidScan) {
  tree_.MakeFile("d/a.tmp", "data");
  auto* paused = new PausingPlatform(std::move(platform_));
  platform_.reset(paused);
  Form1& form = ShownForm();
  Latch exposeHandled;
  bool handledWhileHeld = false;
  paused->trigger = "c:\\d\\a.tmp";
  paused->hook = [&] {
    QApplication::postEvent(form.windowHandle(), new QExposeEvent(QRegion(form.rect())));
    handledWhileHeld = exposeHandled.Wait();
  };
  const EventHook exposed(*form.windowHandle(), [&](QEvent::Type type) {
    if (type == QEvent::Expose) exposeHandled.Open();
  });
  Click("Command1");
  EXPECT_TRUE(handledWhileHeld) << "the window's thread handled nothing while the walk was held";
  EXPECT_EQ(Label1Caption(), "共找到 1个垃圾文件");
}

// The close box pressed while a scan or a deletion runs: the command goes on
// to its end, and the window closes after it.
TEST_F(EndToEndTest, ACloseRequestMadeDuringACommandIsCarriedOutAfterIt) {
  tree_.MakeFile("a.tmp", "data");
  tree_.MakeFile("d/b.tmp", "data");
  Form1& form = ShownForm();
  std::string captionAtRequest = "none";
  const auto requestClose = [&] {
    form.windowHandle()->close();
    EXPECT_TRUE(form.isVisible());
    captionAtRequest = Label1Caption();
  };
  QTimer::singleShot(0, &form, requestClose);
  Click("Command1");
  EXPECT_EQ(captionAtRequest, "");  // while the walk was in the root
  EXPECT_EQ(Label1Caption(), "共找到 2个垃圾文件");
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(WaitFor([&] { return !form.isVisible(); }));

  ASSERT_TRUE(ShowAndWait(form));
  Click("Command5");
  BoxAnswerer user({QMessageBox::Yes});
  user.OnEachBox([&](QMessageBox&) { requestClose(); });
  Click("Command2");
  EXPECT_EQ(captionAtRequest, "共找到 2个垃圾文件");
  EXPECT_EQ(Label1Caption(), "还剩下 0个垃圾文件");
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(WaitFor([&] { return !form.isVisible(); }));
}

// Every file of this drive is junk: a scan that repainted per hit or per
// file would paint thousands of times.
TEST_F(EndToEndTest, AScanRepaintsAtABoundedRate) {
  for (int d = 0; d < 20; ++d) {
    for (int f = 0; f < 100; ++f) {
      tree_.MakeFile("d" + std::to_string(d) + "/f" + std::to_string(f) + ".tmp", "x");
    }
  }
  Form1& form = ShownForm();
  PaintCounter listPaints(*List("List1").viewport());
  PaintCounter barPaints(*List("List1").verticalScrollBar());
  PaintCounter labelPaints(*Child<QWidget>(form, "Label1"));
  QElapsedTimer timer;
  timer.start();
  Click("Command1");
  const double seconds = timer.elapsed() / 1000.0;
  EXPECT_EQ(List("List1").ListCount(), 2000);
  // About 30 a second while scanning, and a few when the scan is over.
  const int bound = static_cast<int>(seconds * 31) + 4;
  EXPECT_LE(listPaints.count, bound) << seconds << " s";
  EXPECT_LE(barPaints.count, bound) << seconds << " s";
  EXPECT_LE(labelPaints.count, bound) << seconds << " s";
  QApplication::processEvents();
  ListBox& list = List("List1");
  EXPECT_EQ(list.model()->rowCount(), 2000);
  EXPECT_EQ(Label1Text(), "共找到 2000个垃圾文件");
  // Whatever the scroll bar showed while scanning, it now reaches the last
  // entry and no further.
  ASSERT_TRUE(WaitFor([&] { return list.verticalScrollBar()->maximum() > 0; }));
  list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
  QApplication::processEvents();
  const QRect last = list.visualRect(list.model()->index(1999, 0));
  EXPECT_TRUE(list.viewport()->rect().contains(last)) << last.y();
  EXPECT_EQ(list.indexAt(list.viewport()->rect().topLeft() + QPoint(2, 2)).row(),
            2000 - (list.viewport()->height() / last.height()));
}

// Each command, and a browse in Dir1, closes what it opened on the drive
// when it returns, while the window stays open: nothing keeps a drive busy.
TEST(WindowHandles, NothingStaysOpenOnTheDriveAfterACommand) {
  TempTree tree;
  tree.MakeFiles({"a.tmp", "d/b.tmp", "d/e/c.tmp"}, "1");
  ScriptedSysCalls sys;
  LinuxPlatform platform(DriveTable({Drive{'c', tree.Root(), ""}}), sys);
  Form1 form(platform);
  form.SetQuitHook([] {});
  ASSERT_TRUE(ShowAndWait(form));
  EXPECT_TRUE(sys.OpenFds().empty()) << "after start";
  ClickCentre(*Child<QPushButton>(form, "Command1"));
  EXPECT_EQ(form.Context().List1.ListCount(), 3);
  EXPECT_TRUE(sys.OpenFds().empty()) << "after the scan";
  ClickCentre(*Child<QPushButton>(form, "Command5"));
  {
    BoxAnswerer user({QMessageBox::Yes});
    ClickCentre(*Child<QPushButton>(form, "Command2"));
  }
  EXPECT_EQ(form.Context().List1.ListCount(), 0);
  EXPECT_TRUE(sys.OpenFds().empty()) << "after the deletion";
  ClickCentre(*Child<QPushButton>(form, "Command3"));
  auto* dir1 = Child<DirListBox>(form, "Dir1");
  dir1->SetPath("c:\\");
  platform.ReleaseHandles();
  const QList<QTreeWidgetItem*> d = dir1->findItems("d", Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_EQ(d.size(), 1);
  ClickAt(*dir1->viewport(), dir1->visualItemRect(d[0]).center(), true);
  ASSERT_TRUE(WaitFor([&] { return dir1->Path() == "c:\\d"; }));
  EXPECT_TRUE(sys.OpenFds().empty()) << "after a browse";
}

}  // namespace
}  // namespace tidwen::test

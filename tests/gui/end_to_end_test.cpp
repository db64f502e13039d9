// The whole program through its window on a temporary drive: real widgets,
// real files, real message boxes answered as a user would.
#include <QElapsedTimer>
#include <QScrollBar>

#include "gui_test_support.h"

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
  EXPECT_EQ(SortedEntries(), (std::vector<std::string>{"c:\\docs\\c.old", "c:\\docs\\ro.tmp",
                                                       "c:\\empty.log"}));
  for (std::int64_t i = 0; i < List("List1").ListCount(); ++i) {
    EXPECT_EQ(List("List1").Selected(i), List("List1").List(i) == "c:\\docs\\ro.tmp");
  }
  QApplication::processEvents();
  EXPECT_EQ(Label1Text(), "还剩下 3个垃圾文件");
  EXPECT_EQ(List("List1").model()->rowCount(), 3);
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
  QApplication::postEvent(&chooseTypes,
                          new QMouseEvent(QEvent::MouseButtonRelease, at,
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

}  // namespace
}  // namespace tidwen::test

// The Qt controls on their own: the list's batched announcing and paced
// painting, clicks on entries, byte texts, the status label, the directory
// and file lists, and the message box service.
#include <QAccessible>
#include <QScrollBar>
#include <QSet>
#include <QTreeWidget>
#include <tuple>

#include "frontend/qt/file_system_boxes.h"
#include "frontend/qt/message_box.h"
#include "frontend/qt/window_style.h"
#include "gui_test_support.h"
#include "model/runtime_error.h"
#include "support/fake_clock.h"

namespace tidwen::test {
namespace {

class ListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_.resize(300, 200);
    ASSERT_TRUE(ShowAndWait(list_));
  }
  // The pacer runs on a clock the tests move, so that a loaded machine
  // changes nothing of what they see.
  FakeClock clock_;
  RepaintPacer pacer_{RepaintPacer::kInterval, clock_.Reader()};
  ListBox list_{true, pacer_};
};

TEST_F(ListBoxTest, AppendsReachTheViewInOneBatch) {
  int inserted = 0;
  QObject::connect(list_.model(), &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
  for (int i = 0; i < 1000; ++i) list_.AddItem("c:\\f" + std::to_string(i));
  EXPECT_EQ(list_.ListCount(), 1000);
  EXPECT_EQ(list_.List(999), "c:\\f999");
  // Nothing is announced until control returns to the event loop...
  EXPECT_EQ(list_.model()->rowCount(), 0);
  QApplication::processEvents();
  // ...and then all of it at once, in the order added.
  EXPECT_EQ(list_.model()->rowCount(), 1000);
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(list_.model()->index(0, 0).data().toString(), "c:\\f0");
  EXPECT_EQ(list_.model()->index(999, 0).data().toString(), "c:\\f999");
}

TEST_F(ListBoxTest, OtherChangesAnnouncePendingAppendsFirst) {
  list_.AddItem("a");
  list_.AddItem("b");
  list_.AddItem("c");
  list_.RemoveItem(0);
  EXPECT_EQ(list_.model()->rowCount(), 2);
  EXPECT_EQ(list_.model()->index(0, 0).data().toString(), "b");
  list_.AddItem("d");
  list_.AddItem("first", std::int64_t{0});
  EXPECT_EQ(list_.model()->rowCount(), 4);
  EXPECT_EQ(list_.model()->index(0, 0).data().toString(), "first");
  EXPECT_EQ(list_.model()->index(3, 0).data().toString(), "d");
  list_.SetSelected(3, true);
  QApplication::processEvents();
  EXPECT_EQ(list_.model()->index(3, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  list_.Clear();
  EXPECT_EQ(list_.model()->rowCount(), 0);
  EXPECT_EQ(list_.ListCount(), 0);
  // A bad index changes nothing, on screen or off.
  list_.AddItem("x");
  EXPECT_THROW(list_.RemoveItem(5), RuntimeError);
  EXPECT_THROW(list_.AddItem("y", std::int64_t{3}), RuntimeError);
  EXPECT_EQ(list_.ListCount(), 1);
  QApplication::processEvents();
  EXPECT_EQ(list_.model()->rowCount(), 1);
}

TEST_F(ListBoxTest, AClickTogglesThatEntryAlone) {
  for (const char* text : {"a", "b", "c"}) list_.AddItem(text);
  QApplication::processEvents();
  ClickRow(list_, 1);
  EXPECT_FALSE(list_.Selected(0));
  EXPECT_TRUE(list_.Selected(1));
  EXPECT_FALSE(list_.Selected(2));
  ClickRow(list_, 1);
  EXPECT_FALSE(list_.Selected(1));
  // A click on the check box itself toggles once, not twice.
  const QRect row = list_.visualRect(list_.model()->index(2, 0));
  ClickAt(*list_.viewport(), QPoint(row.left() + row.height() / 2, row.center().y()));
  EXPECT_TRUE(list_.Selected(2));
  EXPECT_FALSE(list_.Selected(0));
  EXPECT_FALSE(list_.Selected(1));
}

TEST_F(ListBoxTest, TextsKeepTheirBytesAndShowReadably) {
  const std::string latin1("c:\\caf\xe9.tmp");  // not UTF-8
  list_.AddItem(latin1);
  list_.AddItem("c:\\文档\\报告.bak");
  list_.AddItem("c:\\<b>bold</b>\n.tmp");
  QApplication::processEvents();
  EXPECT_EQ(list_.List(0), latin1);
  EXPECT_EQ(list_.model()->index(0, 0).data().toString(), QString::fromUtf8("c:\\caf\uFFFD.tmp"));
  EXPECT_EQ(list_.model()->index(1, 0).data().toString(), QString::fromUtf8("c:\\文档\\报告.bak"));
  // A newline shows as a visible sign, so the entry keeps to one line.
  EXPECT_FALSE(list_.model()->index(2, 0).data().toString().contains('\n'));
}

// While a handler keeps the event loop waiting, appends still reach the
// screen, but no more than about 30 times a second: on the page while it
// fills, then on the scroll bar.
TEST_F(ListBoxTest, RefreshPaintsProgressAtABoundedRate) {
  PaintCounter page(*list_.viewport());
  PaintCounter bar(*list_.verticalScrollBar());
  clock_.Advance(RepaintPacer::kInterval);  // past any round of SetUp's
  const long roundsBefore = pacer_.Rounds();
  // 300 ms of work, one append and refresh a millisecond: a round at 0, 33,
  // ..., 297 ms.
  for (int added = 0; added < 300; ++added) {
    list_.AddItem("c:\\f" + std::to_string(added));
    list_.Refresh();
    clock_.Advance(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(pacer_.Rounds() - roundsBefore, 10);
  EXPECT_GE(page.count + bar.count, 3) << "progress must show while busy";
  EXPECT_GE(page.count, 1) << "the first entries show on the page";
  EXPECT_LE(page.count, 10);
  EXPECT_LE(bar.count, 10);
  EXPECT_GT(list_.model()->rowCount(), 0);
}

// Entries appended below a full page leave the page as it is: the scroll bar
// alone shows them at once, with the range the view gives it once it has
// taken the rows.
TEST_F(ListBoxTest, AppendsBelowAFullPageMoveTheScrollBarAlone) {
  for (int i = 0; i < 100; ++i) list_.AddItem("c:\\f" + std::to_string(i));
  QScrollBar& bar = *list_.verticalScrollBar();
  ASSERT_TRUE(WaitFor([&] { return bar.maximum() > 0; })) << "the page must be full";
  list_.scrollToTop();
  QApplication::processEvents();
  PaintCounter page(*list_.viewport());
  PaintCounter barPaints(bar);
  clock_.Advance(RepaintPacer::kInterval);  // past any earlier round
  for (int i = 100; i < 1100; ++i) list_.AddItem("c:\\f" + std::to_string(i));
  list_.Refresh();
  EXPECT_EQ(page.count, 0);
  EXPECT_EQ(barPaints.count, 1);
  const int shownDuringWork = bar.maximum();
  EXPECT_EQ(list_.model()->rowCount(), 100);  // the view takes the rows later
  ASSERT_TRUE(WaitFor([&] { return list_.model()->rowCount() == 1100; }));
  // Whatever the view lays out now must agree with what the bar showed.
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  EXPECT_EQ(bar.maximum(), shownDuringWork);
  EXPECT_EQ(bar.value(), 0);

  // At the bottom of the list a new row may show on the page: it is painted.
  list_.scrollToBottom();
  QApplication::processEvents();
  clock_.Advance(RepaintPacer::kInterval);
  page.count = 0;
  list_.AddItem("c:\\last");
  list_.Refresh();
  EXPECT_EQ(list_.model()->rowCount(), 1101);
  EXPECT_GE(page.count, 1);

  // A changed check mark on the page is painted too.
  list_.scrollToTop();
  QApplication::processEvents();
  clock_.Advance(RepaintPacer::kInterval);
  page.count = 0;
  list_.SetSelected(0, true);
  list_.AddItem("c:\\more");
  list_.Refresh();
  EXPECT_GE(page.count, 1);
  EXPECT_EQ(list_.model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
}

// A tooltip is worked out when asked for, never as entries are added.
TEST_F(ListBoxTest, ToolTipsComeFromTheProviderOnDemand) {
  std::vector<std::string> asked;
  list_.Model().SetToolTipProvider([&](std::string_view text) {
    asked.emplace_back(text);
    return QStringLiteral("tip");
  });
  for (int i = 0; i < 1000; ++i) list_.AddItem("c:\\f" + std::to_string(i));
  QApplication::processEvents();
  list_.viewport()->repaint();
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(list_.model()->index(5, 0).data(Qt::ToolTipRole).toString(), "tip");
  EXPECT_EQ(asked, std::vector<std::string>{"c:\\f5"});
}

TEST(StatusLabelTest, ShowsItsCaptionWhenPaintedOrWhenIdle) {
  FakeClock clock;
  RepaintPacer pacer(RepaintPacer::kInterval, clock.Reader());
  StatusLabel label(pacer);
  label.SetCaption("c:\\a\\<i>x</i>.tmp");
  EXPECT_EQ(label.Caption(), "c:\\a\\<i>x</i>.tmp");
  EXPECT_EQ(label.text(), "");  // not laid out yet
  label.Refresh();              // the first refresh paints at once
  EXPECT_EQ(label.text(), "c:\\a\\<i>x</i>.tmp");
  EXPECT_EQ(label.textFormat(), Qt::PlainText);
  label.SetCaption("共找到 1个垃圾文件");
  clock.Advance(RepaintPacer::kInterval - std::chrono::milliseconds(1));
  label.Refresh();  // too soon after the last one
  EXPECT_EQ(label.text(), "c:\\a\\<i>x</i>.tmp");
  QApplication::processEvents();
  EXPECT_EQ(label.text(), "共找到 1个垃圾文件");
  // A screen reader hears what the line shows.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&label)->text(QAccessible::Name),
            "共找到 1个垃圾文件");
}

class FileSystemBoxesTest : public WindowTest {};

TEST_F(FileSystemBoxesTest, DirectoryListShowsThePathDownThenTheChildren) {
  tree_.MakeDir("a/b/c1");
  tree_.MakeDir("a/b/c2");
  tree_.MakeFile("a/b/f.txt", "x");
  QWidget window;
  auto& dir1 = *new DirListBox(platform_->Dir1(), &window);
  auto& file1 = *new FileListBox(platform_->File1(), &window);
  dir1.resize(200, 300);
  dir1.SetPath("c:\\a\\b");
  file1.SetPath("c:\\a\\b");
  ASSERT_EQ(dir1.topLevelItemCount(), 1);
  QTreeWidgetItem* root = dir1.topLevelItem(0);
  EXPECT_EQ(root->text(0), "c:\\");
  ASSERT_EQ(root->childCount(), 1);
  QTreeWidgetItem* b = root->child(0)->child(0);
  EXPECT_EQ(b->text(0), "b");
  EXPECT_EQ(dir1.currentItem(), b);
  QStringList children;
  for (int i = 0; i < b->childCount(); ++i) children << b->child(i)->text(0);
  children.sort();
  EXPECT_EQ(children, QStringList({"c1", "c2"}));
  EXPECT_EQ(file1.model()->rowCount(), 1);

  // A double click opens a directory; the file list does not follow.
  ASSERT_TRUE(ShowAndWait(window));
  QTreeWidgetItem* c1 = b->child(0)->text(0) == "c1" ? b->child(0) : b->child(1);
  ClickAt(*dir1.viewport(), dir1.visualItemRect(c1).center(), true);
  ASSERT_TRUE(WaitFor([&] { return dir1.Path() == "c:\\a\\b\\c1"; }));
  EXPECT_EQ(dir1.currentItem()->text(0), "c1");
  EXPECT_EQ(file1.Path(), "c:\\a\\b");
  // The root entry opens the root.
  ClickAt(*dir1.viewport(), dir1.visualItemRect(dir1.topLevelItem(0)).center(), true);
  ASSERT_TRUE(WaitFor([&] { return dir1.Path() == "c:\\"; }));
  EXPECT_EQ(dir1.topLevelItem(0)->childCount(), 1);  // just "a"

  // A directory that has gone since it was listed leaves the list as it was.
  tree_.Remove("a");
  dir1.setCurrentItem(dir1.topLevelItem(0)->child(0));
  PressKey(dir1, Qt::Key_Return);
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  EXPECT_EQ(dir1.Path(), "c:\\");
}

// Deep down the list stays readable: the entries indent little, and a
// horizontal scroll bar reaches what the box is too narrow to show.
TEST_F(FileSystemBoxesTest, DeepDirectoriesStayReadable) {
  tree_.MakeDir("level1/level2/level3/level4/level5/level6/level7/level8/children");
  QWidget window;
  auto& dir1 = *new DirListBox(platform_->Dir1(), &window);
  dir1.setGeometry(TwipsRect(2160, 600, 1815, 2820));
  dir1.SetPath("c:\\level1\\level2\\level3\\level4\\level5\\level6\\level7\\level8");
  ASSERT_TRUE(ShowAndWait(window));
  // The open directory's name starts well inside the box.
  const QRect entry = dir1.visualItemRect(dir1.currentItem());
  EXPECT_TRUE(dir1.viewport()->rect().contains(entry.topLeft() + QPoint(40, 0)));
  QScrollBar& bar = *dir1.horizontalScrollBar();
  ASSERT_TRUE(bar.isVisible());
  bar.setValue(bar.maximum());
  EXPECT_LE(dir1.visualItemRect(dir1.currentItem()->child(0)).right(),
            dir1.viewport()->rect().right() + 1);
}

TEST_F(FileSystemBoxesTest, HiddenListsCatchUpWhenShownAgain) {
  tree_.MakeFile("one/x.txt", "x");
  tree_.MakeFile("two/y.txt", "x");
  tree_.MakeFile("two/z.txt", "x");
  QWidget window;
  auto& file1 = *new FileListBox(platform_->File1(), &window);
  file1.SetPath("c:\\one");
  EXPECT_EQ(file1.model()->rowCount(), 1);
  file1.SetVisible(false);
  file1.SetPath("c:\\two");
  EXPECT_EQ(file1.ListCount(), 2);  // the lister moved at once
  file1.SetVisible(true);
  ASSERT_EQ(file1.model()->rowCount(), 2);
  QStringList names{file1.model()->index(0, 0).data().toString(),
                    file1.model()->index(1, 0).data().toString()};
  names.sort();
  EXPECT_EQ(names, QStringList({"y.txt", "z.txt"}));
}

// What the boxes look like is checked where the program shows them; here,
// a box closed without an answer: Yes/No counts as No, OK as OK.
// Which drive stays chosen is checked in the unit tests; here, that the box
// follows it and shows each drive whole.
TEST(DriveListBoxTest, ShowsEachDriveWholeAndChoosesNoneInPlaceOfAGoneOne) {
  const std::string name = "/media/u/a-long-name-for-a-usb-stick-that-must-be-read-whole";
  const DriveInfo c{'c', "/", "/", 1};
  const DriveInfo stick{'d', name, name, 2};
  DriveListBox box({c, stick});
  box.ChooseDrive('d');
  EXPECT_EQ(box.Drive(), "d: [" + name + "]");
  EXPECT_GE(box.view()->minimumWidth(),
            box.view()->fontMetrics().horizontalAdvance(QString::fromStdString(box.Drive())));
  box.Reload({c, stick});
  EXPECT_EQ(box.Drive(), "d: [" + name + "]");
  // Another mount took d:: nothing is chosen.
  box.Reload({c, DriveInfo{'d', name, name, 4}});
  EXPECT_EQ(box.Drive(), "");
  EXPECT_EQ(box.count(), 2);
}

// What the boxes look like is checked where the program shows them; here,
// a box closed without an answer: Yes/No counts as No, OK as OK.
TEST(MessageBoxTest, ABoxClosedWithoutAnAnswer) {
  QWidget owner;
  QtMessageBoxService service(&owner);
  BoxAnswerer user;
  EXPECT_EQ(service.MsgBox("q", MsgBoxButtons::kYesNo, MsgBoxIcon::kExclamation, "t"), kMsgBoxNo);
  EXPECT_EQ(service.MsgBox("q", MsgBoxButtons::kOkOnly, MsgBoxIcon::kNone, ""), kMsgBoxOk);
  EXPECT_EQ(user.Seen().size(), 2u);
}

// The boxes speak Chinese in the window's font whatever the locale, and the
// letters on the buttons answer them.
TEST(MessageBoxTest, ChineseButtonsThatTheirLettersPress) {
  QWidget owner;
  owner.setFont(QFont("Serif", 13));
  QtMessageBoxService service(&owner);
  const std::tuple<MsgBoxButtons, Qt::Key, int, QStringList> cases[] = {
      {MsgBoxButtons::kYesNo, Qt::Key_Y, kMsgBoxYes, {"是(&Y)", "否(&N)"}},
      {MsgBoxButtons::kYesNo, Qt::Key_N, kMsgBoxNo, {"是(&Y)", "否(&N)"}},
      {MsgBoxButtons::kOkOnly, Qt::Key_Return, kMsgBoxOk, {"确定"}}};
  for (const auto& [buttons, key, answer, captions] : cases) {
    QTimer::singleShot(0, [&, key = key, captions = captions] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      QStringList shown;
      for (QAbstractButton* button : box->buttons()) shown << button->text();
      EXPECT_EQ(QSet<QString>(shown.begin(), shown.end()),
                QSet<QString>(captions.begin(), captions.end()));
      EXPECT_EQ(box->font(), owner.font());
      PressKey(*box, key);
    });
    EXPECT_EQ(service.MsgBox("q", buttons, MsgBoxIcon::kNone, ""), answer) << key;
  }
}

}  // namespace
}  // namespace tidwen::test

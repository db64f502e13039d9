// The six commands end to end on a real temporary drive, the message boxes
// they show, a scan's handling of input and closes, and the keyboard and
// mouse on the check-box lists.
#include "gui_support.h"

#include <commctrl.h>
#include "frontend/win32/form2.h"

namespace tidwen::test {
namespace {

// A window that counts the messages it is sent, to see whether the scan let
// queued messages through.
int probeCount = 0;
LRESULT CALLBACK ProbeProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    ++probeCount;
    return 0;
  }
  return DefWindowProcW(w, message, wParam, lParam);
}

HWND MakeProbe() {
  WNDCLASSW probe{};
  probe.lpfnWndProc = ProbeProc;
  probe.hInstance = GetModuleHandleW(nullptr);
  probe.lpszClassName = L"TidwenTestProbe";
  RegisterClassW(&probe);
  return CreateWindowExW(0, L"TidwenTestProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

bool ChineseUi() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE; }

class CommandsTest : public WindowTest {
 protected:
  void SetUp() override {
    tree_.File("a.tmp");
    tree_.File("keep.txt");
    tree_.File("empty.dat", "");
    tree_.Dir("sub");
    tree_.File("sub\\b.bak");
    tree_.File("sub\\ro.old");
    ASSERT_TRUE(tree_.SetAttributes("sub\\ro.old", FILE_ATTRIBUTE_READONLY));
    Open();
  }
  std::vector<std::string> Results() {
    std::vector<std::string> texts;
    for (std::int64_t i = 0; i < form_->List1().ListCount(); ++i)
      texts.emplace_back(form_->List1().List(i));
    std::sort(texts.begin(), texts.end());
    return texts;
  }
};

TEST_F(CommandsTest, ScanCheckConfirmDeleteRefuseReadOnlyThenChooseTypesAboutAndExit) {
  Click(kCommand1);
  EXPECT_EQ(Status(), "共找到 4个垃圾文件");
  EXPECT_EQ(Results(), (std::vector<std::string>{"c:\\a.tmp", "c:\\empty.dat", "c:\\sub\\b.bak",
                                                 "c:\\sub\\ro.old"}));
  EXPECT_TRUE(IsShown(kList1));
  EXPECT_EQ(SendMessageW(Item(kList1), LB_GETCOUNT, 0, 0), 4);

  Click(kCommand5);
  for (std::int64_t i = 0; i < 4; ++i) EXPECT_TRUE(form_->List1().Selected(i)) << i;

  {
    BoxAnswerer boxes({IDYES, IDOK});
    Click(kCommand2);
    ASSERT_EQ(boxes.Seen().size(), 2u);
    EXPECT_EQ(boxes.Unexpected(), 0);
    const SeenBox& confirm = boxes.Seen()[0];
    EXPECT_EQ(confirm.title, "三思而后行");
    EXPECT_EQ(confirm.text, "确实要删除这4项吗？");
    EXPECT_TRUE(confirm.warningIcon);
    EXPECT_EQ(confirm.defaultButton, IDYES);
    const SeenBox& refusal = boxes.Seen()[1];
    EXPECT_EQ(refusal.title, "Tidwen");
    EXPECT_EQ(refusal.text, "不能删除文件c:\\sub\\ro.old");
    EXPECT_FALSE(refusal.warningIcon);
  }
  EXPECT_EQ(Status(), "还剩下 1个垃圾文件");
  EXPECT_EQ(Results(), std::vector<std::string>{"c:\\sub\\ro.old"});
  EXPECT_EQ(SendMessageW(Item(kList1), LB_GETCOUNT, 0, 0), 1);
  EXPECT_FALSE(tree_.Exists("a.tmp"));
  EXPECT_FALSE(tree_.Exists("empty.dat"));
  EXPECT_FALSE(tree_.Exists("sub\\b.bak"));
  EXPECT_TRUE(tree_.Exists("sub\\ro.old"));
  EXPECT_TRUE(tree_.Exists("keep.txt"));

  Click(kCommand3);
  EXPECT_FALSE(IsShown(kList1));
  for (int id : {kDrive1, kDir1, kFile1, kList2}) EXPECT_TRUE(IsShown(id)) << id;
  EXPECT_EQ(form_->List1().ListCount(), 0);
  EXPECT_EQ(Status(), "还剩下 1个垃圾文件");

  // Choose only *.old: a second scan finds the read-only file alone.
  for (int t = 0; t < 16; ++t) form_->List2().SetSelected(t, t == 7);
  Click(kCommand1);
  EXPECT_EQ(Results(), std::vector<std::string>{"c:\\sub\\ro.old"});

  Click(kCommand6);
  Click(kCommand6);
  int abouts = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM count) {
        wchar_t name[32] = {};
        GetClassNameW(w, name, 32);
        if (std::wstring(name) == kForm2Class && IsWindowVisible(w))
          ++*reinterpret_cast<int*>(count);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&abouts));
  EXPECT_EQ(abouts, 1);
  const HWND about = form_->AboutWindow()->Hwnd();

  Click(kCommand4);
  EXPECT_FALSE(IsWindow(about));
  EXPECT_FALSE(form_->Open());
  EXPECT_EQ(quits_, 1);
}

TEST_F(CommandsTest, NoDeletesNothingAndNothingCheckedAsksNothing) {
  Click(kCommand1);
  {
    BoxAnswerer boxes({IDOK});
    Click(kCommand2);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, "请选择删除项目!");
  }
  form_->List1().Toggle(0);
  {
    BoxAnswerer boxes({IDNO});
    Click(kCommand2);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, "确实要删除这1项吗？");
  }
  EXPECT_EQ(Status(), "还剩下 4个垃圾文件");
  EXPECT_TRUE(tree_.Exists("a.tmp"));
  EXPECT_TRUE(tree_.Exists("sub\\b.bak"));
}

TEST_F(CommandsTest, MessageBoxesCarryTheSystemsChineseButtons) {
  if (!ChineseUi())
    GTEST_SKIP() << "the user interface language is not Chinese (run with LANG=zh_CN.UTF-8)";
  Click(kCommand1);
  Click(kCommand5);
  BoxAnswerer boxes({IDNO, IDOK});
  Click(kCommand2);
  form_->List1().SetSelected(0, false);
  for (std::int64_t i = 0; i < form_->List1().ListCount(); ++i)
    form_->List1().SetSelected(i, false);
  Click(kCommand2);
  ASSERT_EQ(boxes.Seen().size(), 2u);
  EXPECT_EQ(boxes.Seen()[0].buttons,
            (std::vector<std::pair<int, std::string>>{{IDYES, "是(&Y)"}, {IDNO, "否(&N)"}}));
  EXPECT_EQ(boxes.Seen()[1].buttons, (std::vector<std::pair<int, std::string>>{{IDOK, "确定"}}));
}

TEST_F(CommandsTest, AScanDropsInputAndKeepsACloseUntilItHasEnded) {
  // Enough directories that the scan lets messages through on its way.
  for (int i = 0; i < 60; ++i) {
    const std::string dir = "many\\d" + std::to_string(i);
    if (i == 0) tree_.Dir("many");
    tree_.Dir(dir);
    tree_.File(dir + "\\x" + std::to_string(i) + ".tmp");
    tree_.File(dir + "\\plain.txt");
  }
  // Queued before the scan: a click on select-all, a key, and the close box.
  const HWND select = Item(kCommand5);
  PostMessageW(select, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageW(select, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  PostMessageW(Item(kList2), WM_KEYDOWN, VK_SPACE, 0);
  PostMessageW(form_->Hwnd(), WM_CLOSE, 0, 0);
  const HWND probe = MakeProbe();
  probeCount = 0;
  PostMessageW(probe, WM_APP, 0, 0);
  const long roundsBefore = form_->Pacer().Rounds();
  Click(kCommand1);
  EXPECT_GT(form_->Pacer().Rounds(), roundsBefore);
  // Messages queued behind the close were handled during the scan, so the
  // close reached the window then: it waited for the scan, which ran to its
  // end.
  EXPECT_EQ(probeCount, 1);
  DestroyWindow(probe);
  ASSERT_TRUE(form_->Open());
  // 60 in the directories, and the four junk files of the fixture.
  EXPECT_EQ(Status(), "共找到 64个垃圾文件");
  // The click and the key were dropped.
  for (std::int64_t i = 0; i < form_->List1().ListCount(); ++i)
    EXPECT_FALSE(form_->List1().Selected(i)) << i;
  EXPECT_TRUE(form_->List2().Selected(0));
  // Now the close is carried out, and with the last window the program ends.
  Pump(*form_, 50);
  EXPECT_FALSE(form_->Open());
  EXPECT_EQ(quits_, 1);
}

TEST_F(CommandsTest, TheCloseBoxOfTheMainWindowLeavesAnOpenAboutWindow) {
  Click(kCommand6);
  const HWND about = form_->AboutWindow()->Hwnd();
  PostMessageW(form_->Hwnd(), WM_CLOSE, 0, 0);
  Pump(*form_);
  EXPECT_FALSE(form_->Open());
  EXPECT_TRUE(IsWindowVisible(about));
  EXPECT_EQ(quits_, 0);
  PostMessageW(about, WM_CLOSE, 0, 0);
  Pump(*form_);
  EXPECT_EQ(quits_, 1);
}

TEST_F(CommandsTest, ClicksSpaceAndArrowsWorkTheCheckBoxListsEntryByEntry) {
  const HWND list2 = Item(kList2);
  // A click on the third entry toggles it alone.
  RECT item;
  SendMessageW(list2, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM(item.left + 30, (item.top + item.bottom) / 2);
  PostMessageW(list2, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(list2, WM_LBUTTONUP, 0, at);
  Pump(*form_);
  for (int t = 0; t < 16; ++t) EXPECT_EQ(form_->List2().Selected(t), t != 2) << t;
  // Down to the fourth, Space toggles it; Space again toggles it back.
  SetFocus(list2);
  for (WPARAM key : {VK_DOWN, VK_SPACE}) {
    PostMessageW(list2, WM_KEYDOWN, key, 0);
    PostMessageW(list2, WM_KEYUP, key, 0xC0000000);
  }
  Pump(*form_);
  EXPECT_EQ(SendMessageW(list2, LB_GETCARETINDEX, 0, 0), 3);
  for (int t = 0; t < 16; ++t) EXPECT_EQ(form_->List2().Selected(t), t != 2 && t != 3) << t;
  PostMessageW(list2, WM_KEYDOWN, VK_SPACE, 0);
  Pump(*form_);
  EXPECT_TRUE(form_->List2().Selected(3));
}

TEST_F(CommandsTest, SpaceAndEnterPressAFocusedButton) {
  struct Case {
    const char* name;
    WPARAM key;
  };
  for (const Case& c : {Case{"Space", VK_SPACE}, Case{"Enter", VK_RETURN}}) {
    SCOPED_TRACE(c.name);
    for (int t = 0; t < 16; ++t) form_->List2().SetSelected(t, false);
    const HWND select = Item(kCommand5);
    SetFocus(select);
    PostMessageW(select, WM_KEYDOWN, c.key, 0);
    PostMessageW(select, WM_KEYUP, c.key, 0xC0000000);
    Pump(*form_);
    for (int t = 0; t < 15; ++t) EXPECT_TRUE(form_->List2().Selected(t)) << t;
    EXPECT_FALSE(form_->List2().Selected(15));
  }
}

TEST_F(CommandsTest, DirectoryListOpensADoubleClickedEntry) {
  // The list shows c:\ (the start directory) then its children.
  const std::vector<std::string>& entries = form_->Dir1().Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], "c:\\");
  EXPECT_EQ(entries[1], "c:\\sub");
  SendMessageW(Item(kDir1), LB_SETCURSEL, 1, 0);
  RECT item;
  SendMessageW(Item(kDir1), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM(item.left + 10, (item.top + item.bottom) / 2);
  PostMessageW(Item(kDir1), WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(Item(kDir1), WM_LBUTTONUP, 0, at);
  PostMessageW(Item(kDir1), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(Item(kDir1), WM_LBUTTONUP, 0, at);
  Pump(*form_);
  EXPECT_EQ(form_->Dir1().Path(), "c:\\sub");
  EXPECT_EQ(form_->Dir1().Entries(), (std::vector<std::string>{"c:\\", "c:\\sub"}));
  // File1 is not linked to it: it still shows the root's files.
  EXPECT_EQ(SendMessageW(Item(kFile1), LB_GETCOUNT, 0, 0), 3);
  // Enter opens the chosen entry too: back up to the root.
  SetFocus(Item(kDir1));
  SendMessageW(Item(kDir1), LB_SETCURSEL, 0, 0);
  PostMessageW(Item(kDir1), WM_KEYDOWN, VK_RETURN, 0);
  PostMessageW(Item(kDir1), WM_KEYUP, VK_RETURN, 0xC0000000);
  Pump(*form_);
  EXPECT_EQ(form_->Dir1().Path(), "c:\\");
}

// The scan sets the status line for every file it tests; the window's own
// text, a trip to the window system each time, changes only at the repaint
// pacer's rounds and once when the scan is over.
int setTexts = 0;
LRESULT CALLBACK CountSetText(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR) {
  if (message == WM_SETTEXT) ++setTexts;
  return DefSubclassProc(w, message, wParam, lParam);
}

TEST_F(CommandsTest, AScanSetsTheStatusLinesWindowTextOnlyAtTheRepaintRounds) {
  for (int i = 0; i < 300; ++i) tree_.File("sub\\f" + std::to_string(i) + ".txt");
  form_.reset();
  Open();
  const HWND label1 = GetDlgItem(Item(kFrame1), kLabel1);
  ASSERT_TRUE(SetWindowSubclass(label1, CountSetText, 1, 0));
  setTexts = 0;
  const long rounds = form_->Pacer().Rounds();
  Click(kCommand1);
  RemoveWindowSubclass(label1, CountSetText, 1);
  EXPECT_EQ(Status(), "共找到 4个垃圾文件");
  EXPECT_LE(setTexts, form_->Pacer().Rounds() - rounds + 1) << "of 300 files tested";
}

}  // namespace
}  // namespace tidwen::test

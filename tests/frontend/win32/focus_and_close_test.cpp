// The windows' manners towards the user: the focus comes back to the
// control that had it, and every way of closing a window waits for a
// running command.
#include "gui_support.h"
#include "frontend/win32/form2.h"

namespace tidwen::test {
namespace {

class FocusAndCloseTest : public WindowTest {
 protected:
  void SetUp() override {
    tree_.File("a.tmp");
    tree_.File("keep.txt");
    Open();
    SetForegroundWindow(form_->Hwnd());
    Pump(*form_, 50);
  }
};

TEST_F(FocusAndCloseTest, TheFocusedControlHasTheFocusAgainWhenTheWindowIsActivated) {
  struct Case {
    const char* name;
    std::function<void()> away;
  };
  const Case cases[] = {
      {"a message box",
       [this] {
         // Nothing is checked: the box asks for a choice, and is closed.
         BoxAnswerer boxes({IDOK});
         Click(kCommand2);
         EXPECT_EQ(boxes.Seen().size(), 1u);
       }},
      {"minimise and restore",
       [this] {
         ShowWindow(form_->Hwnd(), SW_MINIMIZE);
         Pump(*form_, 50);
         ShowWindow(form_->Hwnd(), SW_RESTORE);
       }},
      {"the about window, then the main window again",
       [this] {
         Click(kCommand6);
         Pump(*form_, 50);
         SetForegroundWindow(form_->Hwnd());
       }},
  };
  Click(kCommand1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetForegroundWindow(form_->Hwnd());
    SetFocus(Item(kCommand2));
    Pump(*form_, 20);
    ASSERT_EQ(GetFocus(), Item(kCommand2));
    c.away();
    Pump(*form_, 50);
    EXPECT_EQ(GetActiveWindow(), form_->Hwnd());
    EXPECT_EQ(GetFocus(), Item(kCommand2));
  }
}

TEST_F(FocusAndCloseTest, TheAboutWindowOpensWithTheFocusOnItsIcon) {
  Click(kCommand6);
  Pump(*form_, 50);
  const HWND about = form_->AboutWindow()->Hwnd();
  EXPECT_EQ(GetFocus(), GetDlgItem(about, kPicture1));
}

}  // namespace
}  // namespace tidwen::test

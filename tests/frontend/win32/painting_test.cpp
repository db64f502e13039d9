// What the windows paint: letters whole however far they lean, and the
// pictures at the window's DPI.
#include "expected_windows.h"
#include "gui_support.h"
#include "frontend/win32/form2.h"

namespace tidwen::test {
namespace {

bool IsRed(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 90 && GetBValue(c) < 90; }

class PaintingTest : public WindowTest {
 protected:
  void SetUp() override {
    tree_.File("a.tmp");
    Open();
  }
};

// The about window's large italic "O": its left stroke is painted, and no
// column of it is cut at the label's edges. The rest of the name, also red,
// is hidden so as not to be taken for the letter.
TEST_F(PaintingTest, TheLeaningInitialOfTheAboutWindowIsPaintedWhole) {
  Click(kCommand6);
  Pump(*form_, 50);
  const HWND about = form_->AboutWindow()->Hwnd();
  ShowWindow(GetDlgItem(about, kLabel3), SW_HIDE);
  const RECT label = RectInParent(GetDlgItem(about, kLabel2));
  ASSERT_GT(label.right - label.left, 2);
  RedrawWindow(about, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  HDC dc = GetDC(about);
  // Red pixels of each column of the label, but on the row of the red line.
  const int lineY = Px(kExpectedLine1[1]);
  std::vector<int> red(static_cast<std::size_t>(label.right - label.left));
  for (int x = label.left; x < label.right; ++x) {
    for (int y = label.top; y < label.bottom; ++y) {
      if (std::abs(y - lineY) > 1 && IsRed(GetPixel(dc, x, y))) ++red[x - label.left];
    }
  }
  ReleaseDC(about, dc);
  EXPECT_EQ(red.front(), 0) << "the letter is cut at the label's left edge";
  EXPECT_EQ(red.back(), 0) << "the letter is cut at the label's right edge";
  const std::size_t third = red.size() / 3;
  int leftStroke = 0, rightStroke = 0;
  for (std::size_t i = 0; i < third; ++i) leftStroke += red[i];
  for (std::size_t i = red.size() - third; i < red.size(); ++i) rightStroke += red[i];
  EXPECT_GT(leftStroke, 0);
  EXPECT_GT(rightStroke, 0);
}

}  // namespace
}  // namespace tidwen::test

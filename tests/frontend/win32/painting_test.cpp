// What the windows paint: letters whole however far they lean, and the
// pictures at the window's DPI.
#include "expected_windows.h"
#include "frontend/win32/form2.h"
#include "gui_support.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace tidwen::test {
namespace {

bool IsRed(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 90 && GetBValue(c) < 90; }

class PaintingTest : public WindowTest {
 protected:
  void SetUp() override {
    tree_.File("a.tmp");
    Open();
  }
  // The share of the pixels of area, in window's client coordinates, that
  // are the system's face colour: the background where nothing is drawn.
  static double Background(HWND window, RECT area) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC dc = GetDC(window);
    int face = 0, all = 0;
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x, ++all)
        face += GetPixel(dc, x, y) == GetSysColor(COLOR_BTNFACE);
    }
    ReleaseDC(window, dc);
    return all ? static_cast<double>(face) / all : 1.0;
  }
  // How far right and down anything but the background is drawn in window.
  static SIZE Drawn(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT client;
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    SIZE extent{0, 0};
    for (int y = 0; y < client.bottom; ++y) {
      for (int x = 0; x < client.right; ++x) {
        if (GetPixel(dc, x, y) == GetSysColor(COLOR_BTNFACE)) continue;
        extent.cx = std::max<LONG>(extent.cx, x + 1);
        extent.cy = std::max<LONG>(extent.cy, y + 1);
      }
    }
    ReleaseDC(window, dc);
    return extent;
  }
};

// The logo and the about window's icon grow with the DPI as the controls
// do: the logo fills its box, the contact line stands on it, and the icon
// is drawn at 32 pixels times the scale.
TEST_F(PaintingTest, PicturesAreDrawnAtTheWindowsDpi) {
  Click(kCommand6);
  Pump(*form_, 50);
  const HWND about = form_->AboutWindow()->Hwnd();
  for (UINT dpi : {144u, 192u, 96u}) {
    SCOPED_TRACE(dpi);
    for (HWND window : {form_->Hwnd(), about}) {
      RECT frame;
      GetWindowRect(window, &frame);
      SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
    }
    // The logo is 122 by 70 at 96 DPI; its box clips it.
    const HWND box = Item(kPicture1);
    RECT client;
    GetClientRect(box, &client);
    const LONG right = std::min<LONG>(client.right, MulDiv(122, dpi, 96));
    const LONG bottom = std::min<LONG>(client.bottom, MulDiv(70, dpi, 96));
    EXPECT_LT(Background(box, {right - 12, bottom - 12, right - 2, bottom - 2}), 0.5)
        << "the logo's bottom right corner is not drawn";
    EXPECT_LT(Background(box, RectInParent(PictureItem(kLabel6))), 0.2)
        << "the contact line stands on the background";
    const SIZE icon = Drawn(GetDlgItem(about, kPicture1));
    const int size = MulDiv(32, static_cast<int>(dpi), 96);
    EXPECT_GT(icon.cx, size * 3 / 4);
    EXPECT_GT(icon.cy, size * 3 / 4);
    EXPECT_LE(icon.cx, size);
    EXPECT_LE(icon.cy, size);
  }
}

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
  RedrawWindow(about, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
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

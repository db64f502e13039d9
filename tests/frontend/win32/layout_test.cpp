// The windows as they are laid out: where each control stands, its
// text, font and colour, which controls show at start, and the tab order.
#include <cmath>
#include <cstdlib>

#include "gui_support.h"
#include "frontend/win32/form2.h"

namespace tidwen::test {
namespace {

constexpr int kWindow = 0;

struct Placement {
  const char* name;
  int container;  // kWindow, kPicture1 or kFrame1
  int id;
  TwipsRect rect;
  const char* text;  // null: not compared
  bool shownAtStart;
};

const Placement kForm1Layout[] = {
    {"Drive1", kWindow, kDrive1, {2160, 240, 1815, 300}, nullptr, true},
    {"Dir1", kWindow, kDir1, {2160, 600, 1815, 2820}, nullptr, true},
    {"File1", kWindow, kFile1, {4080, 600, 2415, 2730}, nullptr, true},
    {"Frame1", kWindow, kFrame1, {360, 3480, 8655, 735}, "", true},
    {"Label1", kFrame1, kLabel1, {120, 120, 8295, 375}, "", true},
    {"List2", kWindow, kList2, {6600, 600, 2415, 2790}, nullptr, true},
    {"Label3", kWindow, kLabel3, {4080, 240, 2535, 255}, "  当前文件夹的所有文件", true},
    {"Label4", kWindow, kLabel4, {6720, 240, 2415, 255}, "  请选择扫描的文件类型", true},
    {"List1", kWindow, kList1, {2160, 240, 6855, 3210}, nullptr, false},
    {"List3", kWindow, kList3, {6720, 240, 2295, 2760}, nullptr, false},
    {"Picture1", kWindow, kPicture1, {360, 240, 1695, 1095}, nullptr, true},
    {"Label2", kPicture1, kLabel2, {120, 120, 1335, 375}, "Tidwen", true},
    {"Command5", kWindow, kCommand5, {360, 2400, 1695, 375}, "全       选", true},
    {"Command4", kWindow, kCommand4, {360, 3120, 1695, 375}, "退       出", true},
    {"Command3", kWindow, kCommand3, {360, 2040, 1695, 375}, "选择扫描类型", true},
    {"Command2", kWindow, kCommand2, {360, 1680, 1695, 375}, "删       除", true},
    {"Command1", kWindow, kCommand1, {360, 1320, 1695, 375}, "扫      描", true},
    {"Label5", kPicture1, kLabel5, {120, 480, 1455, 255}, "Orvanta", true},
    {"Label6", kPicture1, kLabel6, {0, 720, 1455, 255}, "orv@example.com", true},
    {"Command6", kWindow, kCommand6, {360, 2760, 1695, 375}, "关       于", true},
};

struct FontRow {
  const char* name;
  int container;
  int id;
  FontSpec font;
};

const FontRow kForm1Fonts[] = {
    {"Command1", kWindow, kCommand1, {kSongTi, 10.5}},
    {"Label2", kPicture1, kLabel2, {kHuawenZhongsong, 14.25, true, true}},
    {"Label5", kPicture1, kLabel5, {kSongTi, 9, false, true}},
    {"Label6", kPicture1, kLabel6, {kSongTi, 9, false, true}},
    {"Command5", kWindow, kCommand5, kDefaultFont},
    {"Label3", kWindow, kLabel3, kDefaultFont},
    {"List1", kWindow, kList1, kDefaultFont},
};

class LayoutTest : public WindowTest {
 protected:
  void SetUp() override {
    tree_.File("a.tmp");
    Open();
  }
  HWND Find(int container, int id) const {
    return container == kWindow ? Item(id) : GetDlgItem(Item(container), id);
  }
  // A pixel of the window as painted.
  COLORREF PixelAt(HWND window, int x, int y) const {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC dc = GetDC(window);
    const COLORREF color = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return color;
  }
};

TEST_F(LayoutTest, MainWindowIsFixedTitledAndSizedInTwips) {
  const HWND w = form_->Hwnd();
  EXPECT_EQ(TextOf(w), "Tidwenv1.1");
  RECT client;
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, Px(9405));
  EXPECT_EQ(client.bottom, Px(4290));
  if (Dpi() == 96) {
    EXPECT_EQ(client.right, 627);
  }
  const LONG style = GetWindowLongW(w, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
  // The icon of the title bar and the taskbar.
  EXPECT_NE(GetClassLongPtrW(w, GCLP_HICON), 0);
  EXPECT_NE(GetClassLongPtrW(w, GCLP_HICONSM), 0);
}

TEST_F(LayoutTest, EveryControlStandsWhereTheLayoutSaysWithItsText) {
  for (const Placement& p : kForm1Layout) {
    SCOPED_TRACE(p.name);
    const HWND control = Find(p.container, p.id);
    ASSERT_NE(control, nullptr);
    const RECT r = RectInParent(control);
    EXPECT_EQ(r.left, Px(p.rect.left));
    EXPECT_EQ(r.top, Px(p.rect.top));
    EXPECT_EQ(r.right - r.left, Px(p.rect.width));
    // A drop-down list's field takes the height of its font.
    if (p.id != kDrive1) {
      EXPECT_EQ(r.bottom - r.top, Px(p.rect.height));
    }
    if (p.text) {
      EXPECT_EQ(TextOf(control), p.text);
    }
    EXPECT_EQ((GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0, p.shownAtStart);
  }
}

TEST_F(LayoutTest, FontsAreAskedForByNameInGb2312AndSized) {
  for (const FontRow& row : kForm1Fonts) {
    SCOPED_TRACE(row.name);
    const auto font =
        reinterpret_cast<HFONT>(SendMessageW(Find(row.container, row.id), WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW asked{};
    ASSERT_NE(GetObjectW(font, sizeof asked, &asked), 0);
    EXPECT_EQ(std::wstring(asked.lfFaceName), row.font.face);
    EXPECT_EQ(asked.lfCharSet, GB2312_CHARSET);
    EXPECT_EQ(asked.lfHeight, -std::lround(row.font.points * Dpi() / 72.0));
    EXPECT_EQ(asked.lfWeight >= FW_BOLD, row.font.bold);
    EXPECT_EQ(asked.lfItalic != 0, row.font.italic);
  }
}

TEST_F(LayoutTest, MissingChineseFacesAreSubstitutedWithGb2312Fonts) {
  HDC dc = GetDC(form_->Hwnd());
  for (const wchar_t* face : {kSongTi, kHuawenZhongsong, kFangzhengShuti}) {
    HFONT font = MakeFont({face, 12}, Dpi());
    HGDIOBJ old = SelectObject(dc, font);
    const int charset = GetTextCharset(dc);
    wchar_t used[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, used);
    SelectObject(dc, old);
    DeleteObject(font);
    if (charset != GB2312_CHARSET) {
      ReleaseDC(form_->Hwnd(), dc);
      GTEST_SKIP() << "no Chinese font stands in for " << Narrow(face) << " (got "
                   << Narrow(used) << "): the prefix has no font substitutes";
    }
  }
  ReleaseDC(form_->Hwnd(), dc);
}

TEST_F(LayoutTest, ColoursOfWindowListsButtonsAndFrame) {
  struct Sample {
    const char* name;
    int id;       // kWindow: the window itself
    int x, y;     // pixels in the control's client area; negative from the far edge
    COLORREF expected;
  };
  const Sample samples[] = {
      {"window", kWindow, 3, 3, kWindowColor},
      {"window between buttons and lists", kWindow, Px(2100), Px(3000), kWindowColor},
      {"Dir1 below its entries", kDir1, 20, -20, kFileListColor},
      {"File1 below its entries", kFile1, 20, -20, kFileListColor},
      {"List2 right of an entry's text", kList2, 110, 4, kFileListColor},
      {"Label3 right of its text", kLabel3, -3, 3, kWindowColor},
      {"Frame1 inside its edge", kFrame1, 4, -4, kWindowColor},
      {"Command1 inside its bevel", kCommand1, 5, 5, kButtonColor},
      {"Command6 inside its bevel", kCommand6, 5, -5, kButtonColor},
  };
  for (const Sample& s : samples) {
    SCOPED_TRACE(s.name);
    const HWND window = s.id == kWindow ? form_->Hwnd() : Item(s.id);
    RECT client;
    GetClientRect(window, &client);
    const int x = s.x >= 0 ? s.x : client.right + s.x;
    const int y = s.y >= 0 ? s.y : client.bottom + s.y;
    const COLORREF got = PixelAt(window, x, y);
    EXPECT_EQ(got, s.expected) << std::hex << "got " << got << " want " << s.expected;
  }
}

TEST_F(LayoutTest, StartsInTheTypesViewWithFocusOnDrive1AndTabsInLayoutOrder) {
  EXPECT_EQ(GetFocus(), Item(kDrive1));
  // Form_Load: sixteen types, all checked, shown in List2; no results.
  EXPECT_EQ(SendMessageW(Item(kList2), LB_GETCOUNT, 0, 0), 16);
  for (int t = 0; t < 16; ++t) EXPECT_TRUE(form_->List2().Selected(t)) << t;
  EXPECT_EQ(SendMessageW(Item(kList1), LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(Status(), "");
  const int order[] = {kDrive1,  kDir1,     kFile1,    kList2,    kPicture1, kCommand5,
                       kCommand4, kCommand3, kCommand2, kCommand1, kCommand6, kDrive1};
  HWND at = Item(kDrive1);
  for (std::size_t i = 1; i < std::size(order); ++i) {
    at = GetNextDlgTabItem(form_->Hwnd(), at, FALSE);
    EXPECT_EQ(GetDlgCtrlID(at), order[i]) << "after step " << i;
  }
  // Tab itself, through the window's keyboard interface.
  SetFocus(Item(kDrive1));
  PostMessageW(Item(kDrive1), WM_KEYDOWN, VK_TAB, 0);
  Pump(*form_);
  EXPECT_EQ(GetFocus(), Item(kDir1));
}

TEST_F(LayoutTest, ResultsViewShowsTheResultListAloneInItsColour) {
  Click(kCommand1);
  Pump(*form_);
  for (int id : {kDrive1, kDir1, kFile1, kList2, kList3}) EXPECT_FALSE(IsShown(id)) << id;
  EXPECT_TRUE(IsShown(kList1));
  RECT client;
  GetClientRect(Item(kList1), &client);
  EXPECT_EQ(PixelAt(Item(kList1), client.right / 2, client.bottom - 10), kResultListColor);
  // The result's text is written in the title bar's navy, RGB(0, 0, 128):
  // smoothed into the list's yellow its pixels keep red equal to green and
  // turn bluer than red, which neither black text nor a pale blue would.
  RECT item;
  SendMessageW(Item(kList1), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  HDC dc = GetDC(Item(kList1));
  int inks = 0;
  for (int y = item.top; y < item.bottom; ++y)
    for (int x = item.left + 20; x < item.left + 120; ++x)
      if (const COLORREF c = GetPixel(dc, x, y);
          std::abs(GetRValue(c) - GetGValue(c)) <= 2 && GetBValue(c) > GetRValue(c) + 5)
        ++inks;
  ReleaseDC(Item(kList1), dc);
  EXPECT_GT(inks, 5);
  // Tab skips what is hidden: from List1 to the logo and the buttons.
  EXPECT_EQ(GetNextDlgTabItem(form_->Hwnd(), Item(kList1), FALSE), Item(kPicture1));
}

// A move to a monitor of another DPI: the controls are placed and their
// fonts made again for it, and back.
TEST_F(LayoutTest, ADpiChangeLaysTheWindowOutAgainInTwips) {
  for (UINT dpi : {144u, 192u, 96u}) {
    SCOPED_TRACE(dpi);
    RECT frame;
    GetWindowRect(form_->Hwnd(), &frame);
    SendMessageW(form_->Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&frame));
    for (const Placement& p : kForm1Layout) {
      SCOPED_TRACE(p.name);
      const RECT r = RectInParent(Find(p.container, p.id));
      EXPECT_EQ(r.left, Twips(p.rect.left, dpi));
      EXPECT_EQ(r.top, Twips(p.rect.top, dpi));
      EXPECT_EQ(r.right - r.left, Twips(p.rect.width, dpi));
    }
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(kCommand1), WM_GETFONT, 0, 0)),
               sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -std::lround(10.5 * dpi / 72.0));
    // The entries grow with the font, so that the text is never clipped.
    TEXTMETRICW metrics{};
    HDC dc = GetDC(Item(kList2));
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(Item(kList2), WM_GETFONT, 0, 0)));
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(Item(kList2), dc);
    EXPECT_GE(SendMessageW(Item(kList2), LB_GETITEMHEIGHT, 0, 0), metrics.tmHeight);
  }
}

struct AboutRow {
  const char* name;
  int id;
  TwipsRect rect;
  bool toText;  // sized to its text: only the position is the layout's
  const char* text;
};

const AboutRow kForm2Layout[] = {
    {"Picture1", kPicture1, {0, 0, 615, 975}, false, nullptr},
    {"Label1", kLabel1, {1320, 120, 1875, 450}, true, "Tidwen"},
    {"Label2", kLabel2, {120, 1560, 360, 720}, true, "O"},
    {"Label3", kLabel3, {600, 1680, 3900, 285}, true, "rvanta "},
    {"Label4", kLabel4, {1080, 1320, 2325, 315}, true, "Orvanta"},
    {"Frame1(0)", kFrame1, {840, 600, 3135, 135}, false, ""},
    {"Label5", kLabel5, {2040, 840, 435, 435}, true, "★"},
    {"Label6", kLabel6, {240, 2160, 4455, 255}, false, nullptr},
    {"Frame1(1)", kFrame1Rule1, {120, 2640, 4455, 135}, false, ""},
};

TEST_F(LayoutTest, AboutWindowAsItIsLaidOut) {
  Click(kCommand6);
  Pump(*form_);
  ASSERT_NE(form_->AboutWindow(), nullptr);
  const HWND about = form_->AboutWindow()->Hwnd();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(TextOf(about), "Tidwenv1.1");
  EXPECT_EQ(GetWindow(about, GW_OWNER), nullptr);
  RECT client;
  GetClientRect(about, &client);
  EXPECT_EQ(client.right, Px(4680));
  EXPECT_EQ(client.bottom, Px(3195));
  EXPECT_FALSE(GetWindowLongW(about, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
  for (const AboutRow& row : kForm2Layout) {
    SCOPED_TRACE(row.name);
    const HWND control = GetDlgItem(about, row.id);
    ASSERT_NE(control, nullptr);
    const RECT r = RectInParent(control);
    EXPECT_EQ(r.left, Px(row.rect.left));
    EXPECT_EQ(r.top, Px(row.rect.top));
    if (!row.toText) {
      EXPECT_EQ(r.right - r.left, Px(row.rect.width));
      EXPECT_EQ(r.bottom - r.top, Px(row.rect.height));
    } else {
      EXPECT_GT(r.right - r.left, 0);
    }
    if (row.text) {
      EXPECT_EQ(TextOf(control), row.text);
    }
  }
  // Line1: red, across the window at its height.
  RedrawWindow(about, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  HDC dc = GetDC(about);
  EXPECT_EQ(GetPixel(dc, Px(4000), Px(2040)), RGB(255, 0, 0));
  EXPECT_NE(GetPixel(dc, Px(4000), Px(2040) + 3), RGB(255, 0, 0));
  ReleaseDC(about, dc);
}

}  // namespace
}  // namespace tidwen::test

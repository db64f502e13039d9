// The windows as they are laid out: where each control stands, its
// text, font and colour, which controls show at start, and the tab order.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "expected_windows.h"
#include "frontend/win32/form2.h"
#include "gui_support.h"

#include <commctrl.h>
#include <oleacc.h>

namespace tidwen::test {
namespace {

constexpr int kWindow = 0;

// The colours the layout gives, written out here apart from the program's.
constexpr COLORREF kOrange = RGB(255, 192, 128), kGreen = RGB(192, 255, 192);
constexpr COLORREF kCream = RGB(255, 255, 192), kBrick = RGB(192, 64, 0);
// The Win32 windows' default font: 宋体 9 pt whatever the desktop's.
constexpr const wchar_t* kDefaultFace = L"宋体";
constexpr double kDefaultPoints = 9;

// The about window's labels that take the size of their text.
bool SizedToText(const ExpectedControl& e) {
  return e.window == "Form2" && e.name.size() == 6 && e.name.substr(0, 5) == "Label" &&
         e.name[5] >= '1' && e.name[5] <= '5';
}

int IdOf(std::string_view name, int index = -1) {
  frontend::ControlDescription control;
  control.name = name;
  control.index = index;
  return ControlIdOf(control);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// A control of a window against its row: place and size in twips at the
// DPI, text, text colour, font, and whether Tab stops at it.
void CheckControl(HWND window, const ExpectedControl& e, UINT dpi) {
  SCOPED_TRACE(std::string(e.name) + (e.index >= 0 ? "(" + std::to_string(e.index) + ")" : ""));
  const HWND parent = e.container.empty() ? window : GetDlgItem(window, IdOf(e.container));
  const HWND control = GetDlgItem(parent, IdOf(e.name, e.index));
  ASSERT_NE(control, nullptr);
  const RECT r = RectInParent(control);
  if (SizedToText(e)) {
    // Its text starts there; a leaning letter's ink may stand out before.
    EXPECT_LE(r.left, Twips(e.left, dpi));
    EXPECT_GE(r.left, Twips(e.left, dpi) - (r.bottom - r.top) / 2);
  } else {
    EXPECT_EQ(r.left, Twips(e.left, dpi));
  }
  EXPECT_EQ(r.top, Twips(e.top, dpi));
  const std::wstring kind = ClassOf(control);
  if (!SizedToText(e)) {
    EXPECT_EQ(r.right - r.left, Twips(e.width, dpi));
    // A drop-down list's field takes the height of its font.
    if (kind != L"ComboBox") {
      EXPECT_EQ(r.bottom - r.top, Twips(e.height, dpi));
    }
  } else {
    EXPECT_GT(r.right - r.left, 0);
  }
  if (kind == L"Static" || kind == L"Button" || kind == kContainerClass) {
    EXPECT_EQ(TextOf(control), e.caption);
  }
  if (kind == L"Static") {
    // The colour the window gives the label's text.
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control));
    const COLORREF text = GetTextColor(dc);
    DeleteDC(dc);
    EXPECT_EQ(text, e.r < 0 ? GetSysColor(COLOR_WINDOWTEXT) : RGB(e.r, e.g, e.b));
  }
  if (kind != kContainerClass && e.name != "Frame1") {
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW asked{};
    ASSERT_NE(GetObjectW(font, sizeof asked, &asked), 0);
    EXPECT_EQ(Narrow(asked.lfFaceName),
              e.face.empty() ? Narrow(kDefaultFace) : std::string(e.face));
    EXPECT_EQ(asked.lfCharSet, GB2312_CHARSET);
    EXPECT_EQ(asked.lfHeight,
              -std::lround((e.face.empty() ? kDefaultPoints : e.points) * dpi / 72.0));
    EXPECT_EQ(asked.lfWeight >= FW_BOLD, e.bold);
    EXPECT_EQ(asked.lfItalic != 0, e.italic);
  }
  EXPECT_EQ((GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) != 0, e.takesFocus);
}

class LayoutTest : public WindowTest {
 protected:
  void SetUp() override {
    tree_.File("a.tmp");
    Open();
  }
  // A pixel of the window as painted.
  COLORREF PixelAt(HWND window, int x, int y) const {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
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
  EXPECT_EQ(client.right, Px(kForm1Width));
  EXPECT_EQ(client.bottom, Px(kForm1Height));
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

TEST_F(LayoutTest, EveryControlFollowsTheLayout) {
  for (const ExpectedControl& e : kExpectedForm1) {
    CheckControl(form_->Hwnd(), e, Dpi());
    // Form_Load hides the results and the directory queue.
    const HWND parent = e.container.empty() ? form_->Hwnd() : Item(IdOf(e.container));
    const bool shown = e.name != "List1" && e.name != "List3";
    EXPECT_EQ(IsWindowVisible(GetDlgItem(parent, IdOf(e.name))) != FALSE, shown) << e.name;
  }
  // The headings lie beneath the results list that covers them.
  bool below = false;
  for (HWND w = Item(kList1); w; w = GetWindow(w, GW_HWNDNEXT)) below = below || w == Item(kLabel3);
  EXPECT_TRUE(below);
}

TEST_F(LayoutTest, MissingChineseFacesAreSubstitutedWithGb2312Fonts) {
  HDC dc = GetDC(form_->Hwnd());
  for (const char* face : {"宋体", "华文中宋", "方正舒体"}) {
    HFONT font = MakeFont({face, 12}, Dpi());
    HGDIOBJ old = SelectObject(dc, font);
    const int charset = GetTextCharset(dc);
    wchar_t used[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, used);
    SelectObject(dc, old);
    DeleteObject(font);
    if (charset != GB2312_CHARSET) {
      ReleaseDC(form_->Hwnd(), dc);
      GTEST_SKIP() << "no Chinese font stands in for " << face << " (got " << Narrow(used)
                   << "): the prefix has no font substitutes";
    }
  }
  ReleaseDC(form_->Hwnd(), dc);
}

TEST_F(LayoutTest, ColoursOfWindowListsButtonsAndFrame) {
  struct Sample {
    const char* name;
    int id;    // kWindow: the window itself
    int x, y;  // pixels in the control's client area; negative from the far edge
    COLORREF expected;
  };
  const Sample samples[] = {
      {"window", kWindow, 3, 3, kOrange},
      {"window between buttons and lists", kWindow, Px(2100), Px(3000), kOrange},
      {"Dir1 below its entries", kDir1, 20, -20, kGreen},
      {"File1 below its entries", kFile1, 20, -20, kGreen},
      {"List2 right of an entry's text", kList2, 110, 4, kGreen},
      {"Label3 right of its text", kLabel3, -3, 3, kOrange},
      {"Frame1 inside its edge", kFrame1, 4, -4, kOrange},
      {"Command1 inside its bevel", kCommand1, 5, 5, kBrick},
      {"Command6 inside its bevel", kCommand6, 5, -5, kBrick},
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
  // Tab, through the window's keyboard interface, visits what takes the
  // focus in tab order, passing by the hidden lists, and comes round.
  std::vector<const ExpectedControl*> order;
  for (const ExpectedControl& e : kExpectedForm1)
    if (e.takesFocus && e.name != "List1") order.push_back(&e);
  std::sort(order.begin(), order.end(),
            [](const auto* a, const auto* b) { return a->tabIndex < b->tabIndex; });
  order.push_back(order.front());
  for (std::size_t i = 1; i < order.size(); ++i) {
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    Pump(*form_);
    EXPECT_EQ(GetFocus(), Item(IdOf(order[i]->name))) << "after step " << i;
  }
}

TEST_F(LayoutTest, ResultsViewShowsTheResultListAloneInItsColour) {
  Click(kCommand1);
  Pump(*form_);
  for (int id : {kDrive1, kDir1, kFile1, kList2, kList3}) EXPECT_FALSE(IsShown(id)) << id;
  EXPECT_TRUE(IsShown(kList1));
  RECT client;
  GetClientRect(Item(kList1), &client);
  EXPECT_EQ(PixelAt(Item(kList1), client.right / 2, client.bottom - 10), kCream);
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
  SetFocus(Item(kList1));
  PostMessageW(Item(kList1), WM_KEYDOWN, VK_TAB, 0);
  Pump(*form_);
  EXPECT_EQ(GetFocus(), Item(kPicture1));
}

// What a screen reader says for each control that has a name.
TEST_F(LayoutTest, ScreenReadersReadTheControlsNames) {
  // Taken from the system's accessibility layer as a screen reader does.
  const auto fromWindow =
      reinterpret_cast<decltype(&AccessibleObjectFromWindow)>(reinterpret_cast<void*>(
          GetProcAddress(LoadLibraryW(L"oleacc.dll"), "AccessibleObjectFromWindow")));
  ASSERT_NE(fromWindow, nullptr);
  const auto nameOf = [&](HWND control) {
    IAccessible* object = nullptr;
    if (FAILED(fromWindow(control, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                          reinterpret_cast<void**>(&object))))
      return std::string();
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    std::string text;
    if (SUCCEEDED(object->get_accName(self, &name)) && name) text = Narrow(name);
    SysFreeString(name);
    object->Release();
    return text;
  };
  if (const std::string dir = nameOf(Item(kDir1)); dir != "文件夹")
    GTEST_SKIP() << "the system's accessibility layer reads no annotated names (Dir1 read as \""
                 << dir << "\"); Wine's oleacc does not keep them";
  EXPECT_EQ(nameOf(Item(kDrive1)), "驱动器");
  EXPECT_EQ(nameOf(Item(kList1)), "找到的垃圾文件");
  EXPECT_EQ(nameOf(Item(kCommand1)), "扫描");
}

// The results' tooltip, as the tip asks the window for it when the
// pointer rests on an entry.
TEST_F(LayoutTest, AResultsTipShowsTheRealFileItsSizeAndLastWrite) {
  Click(kCommand1);
  Pump(*form_);
  ASSERT_NE(form_->ResultTip(), nullptr);
  RECT item;
  SendMessageW(Item(kList1), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  SendMessageW(Item(kList1), WM_MOUSEMOVE, 0,
               MAKELPARAM(item.left + 20, (item.top + item.bottom) / 2));
  const auto tip = [&] {
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = form_->ResultTip();
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(form_->Hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    return info.lpszText ? Narrow(info.lpszText) : std::string();
  };
  const std::string shown = tip();
  EXPECT_NE(shown.find("a.tmp\n大小: 1 字节\n修改时间: 20"), std::string::npos) << shown;
  ASSERT_TRUE(DeleteFileW(tree_.Long("a.tmp").c_str()));
  EXPECT_NE(tip().find("a.tmp\n找不到该文件"), std::string::npos) << tip();
  // Off the entries, no tip.
  SendMessageW(Item(kList1), WM_MOUSEMOVE, 0, MAKELPARAM(item.left + 20, item.bottom + 40));
  EXPECT_EQ(tip(), "");
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
    for (const ExpectedControl& e : kExpectedForm1) CheckControl(form_->Hwnd(), e, dpi);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(kCommand1), WM_GETFONT, 0, 0)),
               sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -std::lround(10.5 * dpi / 72.0));
    // The entries grow with the font, so that the text is never clipped.
    TEXTMETRICW metrics{};
    HDC dc = GetDC(Item(kList2));
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(Item(kList2), WM_GETFONT, 0, 0)));
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(Item(kList2), dc);
    EXPECT_GE(SendMessageW(Item(kList2), LB_GETITEMHEIGHT, 0, 0), metrics.tmHeight);
  }
}

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
  EXPECT_EQ(client.right, Px(kForm2Width));
  EXPECT_EQ(client.bottom, Px(kForm2Height));
  EXPECT_FALSE(GetWindowLongW(about, GWL_STYLE) &
               (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
  for (const ExpectedControl& e : kExpectedForm2) CheckControl(about, e, Dpi());
  // Line1: red, across the window at its height.
  RedrawWindow(about, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  HDC dc = GetDC(about);
  const int y = Px(kExpectedLine1[1]);
  EXPECT_EQ(GetPixel(dc, Px(kExpectedLine1[0]) + 1, y), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, Px(kExpectedLine1[2]) - 1, y), RGB(255, 0, 0));
  EXPECT_NE(GetPixel(dc, Px(kExpectedLine1[2]) + 3, y), RGB(255, 0, 0));
  EXPECT_NE(GetPixel(dc, Px(4000), y + 3), RGB(255, 0, 0));
  ReleaseDC(about, dc);
}

}  // namespace
}  // namespace tidwen::test

#include "frontend/win32/form2.h"

#include <algorithm>

#include "frontend/win32/win32_ui.h"

namespace tidwen::win32 {

namespace {

constexpr DWORD kFixedWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

const FontSpec kLabel1Font{kFangzhengShuti, 21.75};
const FontSpec kLabel2Font{kSongTi, 36, false, true};
const FontSpec kLabel3Font{kSongTi, 14.25, false, true};
const FontSpec kLabel4Font{kSongTi, 15.75, true, true};
const FontSpec kLabel5Font{kSongTi, 21.75};

LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* art = reinterpret_cast<ContainerArt*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      auto* copy = new ContainerArt(*static_cast<const ContainerArt*>(create->lpCreateParams));
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(copy));
      break;
    }
    case WM_NCDESTROY:
      delete art;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      RECT client;
      GetClientRect(hwnd, &client);
      HBRUSH brush = art && art->background != CLR_INVALID ? CreateSolidBrush(art->background)
                                                           : nullptr;
      FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
      if (brush) DeleteObject(brush);
      if (art && art->bitmap) {
        BITMAP info{};
        GetObjectW(art->bitmap, sizeof info, &info);
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, art->bitmap);
        // At its natural size from the top left; the box clips it.
        BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
      }
      if (art && art->icon) DrawIconEx(dc, 0, 0, art->icon, 32, 32, 0, nullptr, DI_NORMAL);
      if (art && art->sunkenEdge) DrawEdge(dc, &client, EDGE_SUNKEN, BF_RECT);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
      if (GetWindowLongW(hwnd, GWL_STYLE) & WS_TABSTOP) SetFocus(hwnd);
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_COMMAND:
    case WM_DRAWITEM:
      // The window decides its controls' colours and runs their commands.
      return SendMessageW(GetParent(hwnd), message, wParam, lParam);
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeStatic(HWND parent, int id, const wchar_t* text) {
  return CreateWindowExW(0, L"STATIC", text,
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX, 0, 0, 0,
                         0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

void RegisterWindowClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSEXW box{};
  box.cbSize = sizeof box;
  box.lpfnWndProc = ContainerProc;
  box.hInstance = GetModuleHandleW(nullptr);
  box.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  box.lpszClassName = kContainerClass;
  RegisterClassExW(&box);
}

HWND MakeContainer(HWND parent, int id, const ContainerArt& art, bool tabStop) {
  RegisterWindowClasses();
  return CreateWindowExW(0, kContainerClass, L"",
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | (tabStop ? WS_TABSTOP : 0), 0,
                         0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), const_cast<ContainerArt*>(&art));
}

Form2::Form2(std::function<void()> onClosed) : onClosed_(std::move(onClosed)) {
  RegisterWindowClasses();
  static bool registered = false;
  if (!registered) {
    registered = true;
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &Form2::Proc;
    form.hInstance = GetModuleHandleW(nullptr);
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.hIcon = LoadProgramIcon(GetSystemMetrics(SM_CXICON));
    form.hIconSm = LoadProgramIcon(GetSystemMetrics(SM_CXSMICON));
    form.lpszClassName = kForm2Class;
    RegisterClassExW(&form);
  }
  icon_ = LoadProgramIcon(32);
}

Form2::~Form2() {
  onClosed_ = nullptr;
  if (hwnd_) DestroyWindow(hwnd_);
  for (HFONT font : fonts_) DeleteObject(font);
}

void Form2::Show() {
  if (!hwnd_) {
    CreateWindowExW(0, kForm2Class, kCaption, kFixedWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    const HWND w = hwnd_;
    ContainerArt art;
    art.icon = icon_;
    // In tab order.
    picture1_ = MakeContainer(w, kPicture1, art, true);
    placed_ = {
        {picture1_, {0, 0, 615, 975}, nullptr, false, 0, false},
        {MakeStatic(w, kLabel1, L"Tidwen"), {1320, 120, 1875, 450}, &kLabel1Font, true,
         RGB(128, 64, 0), true},
        {MakeStatic(w, kLabel2, L"O"), {120, 1560, 360, 720}, &kLabel2Font, true, RGB(255, 0, 0),
         true},
        {MakeStatic(w, kLabel3, L"rvanta "), {600, 1680, 3900, 285}, &kLabel3Font, true,
         RGB(255, 0, 0), false},
        {MakeStatic(w, kLabel4, L"Orvanta"), {1080, 1320, 2325, 315}, &kLabel4Font, true,
         RGB(255, 255, 0), false},
        {CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ETCHEDFRAME, 0, 0, 0, 0, w,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFrame1)),
                         GetModuleHandleW(nullptr), nullptr),
         {840, 600, 3135, 135}, nullptr, false, 0, false},
        {MakeStatic(w, kLabel5, L"★"), {2040, 840, 435, 435}, &kLabel5Font, true,
         RGB(255, 0, 0), false},
        {MakeStatic(w, kLabel6, L"作者：Orvanta  邮箱：orv@example.com"),
         {240, 2160, 4455, 255}, nullptr, false, RGB(255, 0, 255), false},
        {CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ETCHEDFRAME, 0, 0, 0, 0, w,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFrame1Rule1)),
                         GetModuleHandleW(nullptr), nullptr),
         {120, 2640, 4455, 135}, nullptr, false, 0, false},
    };
    Layout(DpiOf(hwnd_));
    // The large initial lies beneath the labels it leans into, so that
    // none of their text is hidden; being transparent it hides nothing.
    SetWindowPos(GetDlgItem(w, kLabel2), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
}

void Form2::Layout(UINT dpi) {
  for (HFONT font : fonts_) DeleteObject(font);
  fonts_.clear();
  HFONT defaultFont = MakeFont(kDefaultFont, dpi);
  fonts_.push_back(defaultFont);
  for (const Placed& p : placed_) {
    HFONT font = defaultFont;
    if (p.font) {
      font = MakeFont(*p.font, dpi);
      fonts_.push_back(font);
    }
    SendMessageW(p.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    int width = Twips(p.rect.width, dpi);
    int height = Twips(p.rect.height, dpi);
    if (p.toText) {
      // The size of its text in the font that actually stands in, so that
      // a wider substitute is never clipped.
      wchar_t text[128] = {};
      const int length = GetWindowTextW(p.hwnd, text, 128);
      HDC dc = GetDC(p.hwnd);
      HGDIOBJ old = SelectObject(dc, font);
      SIZE size{};
      GetTextExtentPoint32W(dc, text, length, &size);
      SelectObject(dc, old);
      ReleaseDC(p.hwnd, dc);
      width = size.cx;
      height = size.cy;
    }
    SetWindowPos(p.hwnd, nullptr, Twips(p.rect.left, dpi), Twips(p.rect.top, dpi), width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT frame{0, 0, Twips(4680, dpi), Twips(3195, dpi)};
  AdjustWindowRectExForDpi(&frame, kFixedWindowStyle, FALSE, 0, dpi);
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT CALLBACK Form2::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Form2* self = WindowObject<Form2>(hwnd, message, lParam);
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCCREATE) self->hwnd_ = hwnd;
  return self->Handle(message, wParam, lParam);
}

LRESULT Form2::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      const HWND control = reinterpret_cast<HWND>(lParam);
      HDC dc = reinterpret_cast<HDC>(wParam);
      for (const Placed& p : placed_) {
        if (p.hwnd != control) continue;
        SetTextColor(dc, p.color);
        if (p.transparent) {
          SetBkMode(dc, TRANSPARENT);
          return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        }
        break;
      }
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd_, &paint);
      // Line1: on the window's surface, beneath the controls.
      const UINT dpi = DpiOf(hwnd_);
      HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
      HGDIOBJ old = SelectObject(dc, pen);
      MoveToEx(dc, Twips(240, dpi), Twips(2040, dpi), nullptr);
      LineTo(dc, Twips(4560, dpi), Twips(2040, dpi));
      SelectObject(dc, old);
      DeleteObject(pen);
      EndPaint(hwnd_, &paint);
      return 0;
    }
    case WM_DPICHANGED: {
      Layout(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      if (keepClose_ && keepClose_()) return 0;
      DestroyWindow(hwnd_);
      return 0;
    case WM_NCDESTROY: {
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      picture1_ = nullptr;
      placed_.clear();
      if (onClosed_) onClosed_();
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace tidwen::win32

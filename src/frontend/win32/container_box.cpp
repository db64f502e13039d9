#include "frontend/win32/container_box.h"

#include "frontend/win32/win32_ui.h"
#include "frontend/win32/window_builder.h"

namespace tidwen::win32 {

namespace {

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
      HBRUSH brush =
          art && art->background != CLR_INVALID ? CreateSolidBrush(art->background) : nullptr;
      FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
      if (brush) DeleteObject(brush);
      if (art && art->bitmap) {
        BITMAP info{};
        GetObjectW(art->bitmap, sizeof info, &info);
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, art->bitmap);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, MulDiv(info.bmWidth, static_cast<int>(art->dpi), 96),
                   MulDiv(info.bmHeight, static_cast<int>(art->dpi), 96), source, 0, 0,
                   info.bmWidth, info.bmHeight, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
      }
      if (art && art->icon) {
        // The icon's own image of that size where it has one.
        const int size = MulDiv(32, static_cast<int>(art->dpi), 96);
        const HICON sized = size == 32 ? nullptr : LoadProgramIcon(size);
        DrawIconEx(dc, 0, 0, sized ? sized : art->icon, size, size, 0, nullptr, DI_NORMAL);
      }
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

}  // namespace

void RegisterWindowClasses() {
  static const bool registered = [] {
    WNDCLASSEXW box{};
    box.cbSize = sizeof box;
    box.lpfnWndProc = ContainerProc;
    box.hInstance = GetModuleHandleW(nullptr);
    box.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    box.lpszClassName = kContainerClass;
    return RegisterClassExW(&box) != 0;
  }();
  (void)registered;
}

void SetContainerDpi(HWND container, UINT dpi) {
  if (auto* art = reinterpret_cast<ContainerArt*>(GetWindowLongPtrW(container, GWLP_USERDATA)))
    art->dpi = dpi;
}

}  // namespace tidwen::win32

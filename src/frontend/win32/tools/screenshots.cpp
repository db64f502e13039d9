// Writes pictures of the main window in the choose-types view, of the
// results view after a scan of a small sample drive, and of the about
// window, as 24-bit BMP files:
//
//   tidwen-screenshots.exe OUTDIR   (writes form1.bmp, results.bmp, form2.bmp)
//
// The windows are taken from the screen with their frames, so run it where
// the window system draws them, e.g. in Wine's virtual desktop.
#include "platform/windows/win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>

#include "frontend/win32/form1.h"
#include "frontend/win32/form2.h"
#include "frontend/win32/win32_ui.h"
#include "platform/platform.h"

namespace {

using tidwen::win32::Narrow;

void Pump(int milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  while (GetTickCount() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
}

bool SaveWindow(HWND window, const std::wstring& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files keep rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((width * 3 + 3) / 4) * 4;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + stride * height;
  bool ok = false;
  if (FILE* out = _wfopen(path.c_str(), L"wb")) {
    ok = fwrite(&file, sizeof file, 1, out) == 1 &&
         fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
         fwrite(bits, stride, height, out) == static_cast<size_t>(height);
    fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

void WriteFile(const std::wstring& path) {
  if (FILE* out = _wfopen(path.c_str(), L"wb")) fclose(out);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring outDir = argc > 1 ? argv[1] : L".";
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  // A small sample drive: a few folders with junk among other files.
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring root =
      std::wstring(temp) + L"tidwen-sample-" + std::to_wstring(GetCurrentProcessId());
  for (const wchar_t* dir : {L"", L"\\文档", L"\\下载", L"\\文档\\旧稿", L"\\Temp"})
    CreateDirectoryW((root + dir).c_str(), nullptr);
  for (const wchar_t* file :
       {L"\\报告.doc", L"\\报告.bak", L"\\文档\\提纲.txt", L"\\文档\\提纲.old",
        L"\\文档\\旧稿\\草稿.wbk", L"\\下载\\setup.tmp", L"\\下载\\列表.chk",
        L"\\Temp\\~wrl0001.tmp", L"\\Temp\\空文件.dat", L"\\Temp\\sheet.xlk"})
    WriteFile(root + file);
  {
    // Every file but the empty one has something in it.
    for (const wchar_t* file :
         {L"\\报告.doc", L"\\文档\\提纲.txt", L"\\报告.bak", L"\\下载\\setup.tmp"}) {
      if (FILE* out = _wfopen((root + file).c_str(), L"wb")) {
        fputs("tidwen", out);
        fclose(out);
      }
    }
  }
  SetCurrentDirectoryW(root.c_str());

  int status = 0;
  {
    const std::unique_ptr<tidwen::Platform> platform = tidwen::MakeDirectoryPlatform(Narrow(root));
    tidwen::win32::Form1 form(*platform);
    form.SetQuitHook([] {});
    SetWindowPos(form.Hwnd(), nullptr, 30, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    form.Show(SW_SHOWNORMAL);
    Pump(1500);
    if (!SaveWindow(form.Hwnd(), outDir + L"\\form1.bmp")) status = 1;

    SendMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(tidwen::win32::kCommand1, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(form.Hwnd(), tidwen::win32::kCommand1)));
    // Two results checked, as a user would before deleting.
    form.List1().Toggle(0);
    form.List1().Toggle(2);
    Pump(1000);
    if (!SaveWindow(form.Hwnd(), outDir + L"\\results.bmp")) status = 1;

    SendMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(tidwen::win32::kCommand6, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(form.Hwnd(), tidwen::win32::kCommand6)));
    SetWindowPos(form.AboutWindow()->Hwnd(), HWND_TOP, 700, 30, 0, 0, SWP_NOSIZE);
    Pump(1500);
    if (!SaveWindow(form.AboutWindow()->Hwnd(), outDir + L"\\form2.bmp")) status = 1;

    // The choose-types view at 150%, as on a monitor of 144 DPI: the logo
    // fills its box and the contact line stands on it. The about window,
    // which would stand over the grown window, goes first.
    ShowWindow(form.AboutWindow()->Hwnd(), SW_HIDE);
    SendMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(tidwen::win32::kCommand3, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(form.Hwnd(), tidwen::win32::kCommand3)));
    RECT frame;
    GetWindowRect(form.Hwnd(), &frame);
    SendMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&frame));
    Pump(1500);
    if (!SaveWindow(form.Hwnd(), outDir + L"\\form1-150.bmp")) status = 1;
  }
  SetCurrentDirectoryW(temp);
  for (const wchar_t* file :
       {L"\\报告.doc", L"\\报告.bak", L"\\文档\\提纲.txt", L"\\文档\\提纲.old",
        L"\\文档\\旧稿\\草稿.wbk", L"\\下载\\setup.tmp", L"\\下载\\列表.chk",
        L"\\Temp\\~wrl0001.tmp", L"\\Temp\\空文件.dat", L"\\Temp\\sheet.xlk"})
    DeleteFileW((root + file).c_str());
  for (const wchar_t* dir : {L"\\文档\\旧稿", L"\\文档", L"\\下载", L"\\Temp", L""})
    RemoveDirectoryW((root + dir).c_str());
  LocalFree(argv);
  return status;
}

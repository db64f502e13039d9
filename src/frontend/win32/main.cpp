// tidwen.exe: the main window over the system's drives.
#include "platform/windows/win32.h"

#include <commctrl.h>

#include <memory>

#include "frontend/win32/form1.h"
#include "platform/platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int nShowCmd) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const std::unique_ptr<tidwen::Platform> platform = tidwen::MakeSystemPlatform();
  tidwen::win32::Form1 form(*platform);
  form.Show(nShowCmd);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (form.PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

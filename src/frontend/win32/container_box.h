// The class of the picture boxes and of Form1's frame: a container that
// paints a picture or a sunken edge and passes its children's notifications
// to the window.
#pragma once

#include "platform/windows/win32.h"

namespace tidwen::win32 {

// What a container paints: handed to CreateWindowExW of kContainerClass
// (window_builder.h) as its creation parameter, copied and kept with it.
struct ContainerArt {
  COLORREF background = CLR_INVALID;  // CLR_INVALID: the system's face colour
  HBITMAP bitmap = nullptr;
  HICON icon = nullptr;
  bool sunkenEdge = false;
  UINT dpi = 96;  // the pictures are drawn at their size times dpi / 96
};

// Sets the DPI the container's picture is drawn at.
void SetContainerDpi(HWND container, UINT dpi);

}  // namespace tidwen::win32

// The listers and services a platform hands the main window's context, and
// the one way a window, a test or a benchmark puts that context together.
#pragma once

#include "model/controls.h"
#include "model/form1_context.h"
#include "model/services.h"

namespace tidwen {

// The listers and services of a platform, or of stand-ins for tests. A window
// may put its own listers in front of the platform's, to show them.
struct PlatformServices {
  DirListControl& Dir1;
  FileListControl& File1;
  FileLengthService& FileLength;
  FileSystemService& FileSystem;
};

inline Form1Context MakeForm1Context(const WindowControls& window, const PlatformServices& platform,
                                     MessageBoxService& messageBox) {
  return Form1Context{window.List1,
                      window.List2,
                      window.List3,
                      window.Label1,
                      window.Drive1,
                      platform.Dir1,
                      platform.File1,
                      platform.FileLength,
                      messageBox,
                      platform.FileSystem,
                      {},
                      {},
                      0};
}

}  // namespace tidwen

// The services a Form1Context takes from the platform, gathered the same way
// over either platform, and the context built from them and the window's own
// controls.
#pragma once

#include "platform/controls.h"
#include "platform/form1_context.h"
#include "platform/services.h"

namespace tidwen {

// Not owned: the platform keeps them alive.
struct PlatformServices {
  DirListControl& Dir1;
  FileListControl& File1;
  FileLengthService& FileLength;
  FileSystemService& FileSystem;
};

// The services of a platform object with the listers and services of
// LinuxPlatform or WindowsPlatform.
template <class Platform>
PlatformServices ServicesOf(Platform& platform) {
  return PlatformServices{platform.Dir1(), platform.File1(), platform.FileLength(),
                          platform.FileSystem()};
}

// The window's own controls and its message box. Not owned.
struct WindowParts {
  ListControl& List1;
  ListControl& List2;
  ListControl& List3;
  LabelControl& Label1;
  DriveListControl& Drive1;
  MessageBoxService& MessageBox;
};

inline Form1Context MakeForm1Context(const WindowParts& window, const PlatformServices& platform) {
  return Form1Context{window.List1,    window.List2,         window.List3,
                      window.Label1,   window.Drive1,        platform.Dir1,
                      platform.File1,  platform.FileLength,  window.MessageBox,
                      platform.FileSystem, {}, {}, 0, {}};
}

}  // namespace tidwen

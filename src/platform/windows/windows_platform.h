// The real Windows platform: directory and file listers over one shared
// directory read, file length, and safe deletion, on the machine's drives.
#pragma once

#include <memory>

#include "platform/controls.h"
#include "platform/platform_services.h"
#include "platform/services.h"
#include "platform/windows/drive_list.h"

namespace tidwen {

class WindowsPlatform {
 public:
  // The machine's drives as they are now.
  WindowsPlatform();
  // Shows these drives in the chooser; the services reach any drive path.
  explicit WindowsPlatform(WinDriveList drives);
  ~WindowsPlatform();
  WindowsPlatform(const WindowsPlatform&) = delete;
  WindowsPlatform& operator=(const WindowsPlatform&) = delete;

  const WinDriveList& Drives() const;
  DirListControl& Dir1();
  FileListControl& File1();
  FileLengthService& FileLength();
  FileSystemService& FileSystem();
  // The four above as a Form1Context takes them.
  PlatformServices Services() { return ServicesOf(*this); }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tidwen

// The drives of a Windows machine as the drive chooser shows them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidwen {

struct WinDrive {
  char letter = 'c';  // lower case
  std::string root;   // "c:\"
  std::string text;   // as the drive chooser shows it: "c: [System]"
};

// The chooser's text of a drive: the letter and colon, then the network path
// of a network drive or else the volume label in brackets; the letter and
// colon alone when there is neither (an empty card reader, a volume
// without a label). Labels and paths are WTF-8.
std::string WinDriveText(char letter, std::string_view label, std::string_view remote);

class WinDriveList {
 public:
  WinDriveList() = default;
  explicit WinDriveList(std::vector<WinDrive> drives) : drives_(std::move(drives)) {}

  // Every drive GetLogicalDriveStringsW gives, in its order. A drive that is
  // not ready is listed all the same; listing it fails with 71. Asking a
  // removable drive without its medium shows no system dialog.
  static WinDriveList FromSystem();

  const std::vector<WinDrive>& Drives() const { return drives_; }
  // The drive with this letter, either case; nullptr if none.
  const WinDrive* Find(char letter) const;

 private:
  std::vector<WinDrive> drives_;
};

}  // namespace tidwen

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
  // What names the drive: the network path of a network drive, else its
  // volume label; empty when there is neither (an empty card reader, a
  // volume without a label). WTF-8.
  std::string label;
};

// The name of a drive: its network path when it has one, else its volume
// label.
std::string WinDriveLabel(std::string_view volumeLabel, std::string_view remote);

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

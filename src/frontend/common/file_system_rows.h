// What the drive and directory lists show, the same in both front ends:
// the drive list's text of a drive, which drive stays chosen when the
// drives are read again, and the directory list's rows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/controls.h"
#include "platform/platform.h"

namespace tidwen::frontend {

// The drive list's text of a drive: the letter and colon, then its name in
// brackets, e.g. "c: [/]" or "d: [USB]"; the letter and colon alone when it
// has no name.
std::string DriveText(const DriveInfo& drive);

// Whether two reads of the drive list give the same drive: the same letter
// and the same mount or volume.
bool SameDrive(const DriveInfo& a, const DriveInfo& b);

// The entry of drives to choose after the list was read again, when before
// had been chosen: the same drive, or none (-1) when it is gone, so that
// nothing else is scanned in its place.
int DriveToKeep(const std::optional<DriveInfo>& before, const std::vector<DriveInfo>& drives);

// One row of the directory list.
struct DirRow {
  std::string path;   // the drive path the row opens ("c:\", "c:\a")
  std::string name;   // what it shows: the root's path, else the last name
  int depth = 0;      // how far it steps in: the root 0, each level one more
  bool open = false;  // the root or a directory on the way to the open one
  friend bool operator==(const DirRow&, const DirRow&) = default;
};

// The rows of the directory list open at lister's path: the root and every
// directory down to the open one, each one level deeper, then the open
// directory's subdirectories one level deeper still. The open directory is
// the last row that is open. None when the path is no drive path.
std::vector<DirRow> DirRows(const DirListControl& lister);

}  // namespace tidwen::frontend

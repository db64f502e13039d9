// The main window's controls, services and window-level state, as the
// procedures of the main window share them.
#pragma once

#include <cstdint>
#include <string>

#include "model/controls.h"
#include "model/file_stamp.h"
#include "model/services.h"

namespace tidwen {

// Controls and services are not owned: the window (or a test) owns them and
// keeps them alive for as long as the context is used.
struct Form1Context {
  ListControl& List1;    // ResultList: the found paths
  ListControl& List2;    // PatternList: the sixteen junk types
  ListControl& List3;    // DirectoryQueue: the directories the scans queued, never shown
  LabelControl& Label1;  // status line
  DriveListControl& Drive1;
  DirListControl& Dir1;
  FileListControl& File1;
  FileLengthService& FileLength;
  MessageBoxService& MessageBox;
  FileSystemService& FileSystem;

  // What the file test (Printt) and the deletion of one file (Manip_Files)
  // work on, and what the deletion of the checked results (Command2_Click)
  // last worked on: the file's full path, and which file it was found as.
  std::string CurrentPath;
  FileStamp CurrentStamp;
  // Result of Manip_Files: 1 when the file was deleted, 0 when it was not.
  std::int16_t DeleteOutcome = 0;
};

// The controls the window provides itself.
struct WindowControls {
  ListControl& List1;
  ListControl& List2;
  ListControl& List3;
  LabelControl& Label1;
  DriveListControl& Drive1;
};

}  // namespace tidwen

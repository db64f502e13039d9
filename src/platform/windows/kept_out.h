// What a scan of a Windows drive never lists: the folders where Windows and
// installed programs keep their files, and the directories that a version-
// control system or a package manager keeps (rules/never_offered.h). Their
// files are not the user's junk, and every protected one among them would
// only be one more refusal after a select-all.
//
// The system's folders are known by identity, not by path: the volume's
// serial number and the folder's file number, so that another way to the
// same folder (a subst drive, a network path to the same disk, another
// spelling) is kept out too. The Windows folder is the exception that
// keeps its Temp folder in reach: a scan of c: finds junk in
// c:\Windows\Temp. The Windows folder is listed, but as a passage only: its
// listing holds its Temp folder and nothing else, no file and no other
// folder. Program Files, Program Files (x86) and ProgramData are not
// listed at all, and a listing of one of them reached directly is empty.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows/file_stamp_win.h"

namespace tidwen {

// The identity of an open directory, as FileIdOf gives it; nothing when it
// cannot be opened. longPath is a "\\?\" path.
std::optional<WinFileId> FolderIdOf(const std::wstring& longPath);

// How much of a directory's listing is shown.
enum class WinShown {
  kAll,       // any directory but these below
  kTempOnly,  // the Windows folder: its Temp folder alone
  kNothing,   // a folder kept out, reached directly
};

class WinKeptOut {
 public:
  // Full paths of the folders, "C:\Windows"; any empty or not to be opened
  // is left out.
  struct Folders {
    std::wstring windows;
    std::vector<std::wstring> programs;  // kept out whole
  };
  // The machine's: the Windows folder and the known folders Program Files,
  // Program Files (x86) and ProgramData.
  static Folders SystemFolders();

  // Opens each folder once to learn its identity.
  explicit WinKeptOut(const Folders& folders);

  // What a listing of a directory shows. name is the directory's own last
  // name, empty for a drive's root; idOf() gives its identity, and is asked
  // only for a root, for a name that a system folder bears, or for a name
  // that may be a short alias ("PROGRA~1"): any other directory cannot be
  // one of them, which spares an open of every directory a scan reads.
  template <class IdOf>
  WinShown ShownOf(std::wstring_view name, IdOf&& idOf) const {
    return MayBeSystemFolder(name) ? ShownOfId(idOf()) : WinShown::kAll;
  }
  // The same by identity alone. A directory whose identity cannot be had is
  // shown whole.
  WinShown ShownOfId(const std::optional<WinFileId>& dir) const;
  static bool ShowsFiles(WinShown shown) { return shown == WinShown::kAll; }
  // The last name of a "\\?\" path, empty for a drive's root.
  static std::wstring_view LastNameOf(std::wstring_view longPath);

  // Whether a subdirectory is left out of a listing that shows `shown`.
  // idOf() gives the subdirectory's identity (std::optional<WinFileId>); it
  // is asked only for a name that one of the system's folders bears, since
  // on Windows a directory has a single name (every other way to it is a
  // reparse point, which no listing holds). A reader that has the file
  // numbers at hand passes them; one that has not opens the subdirectory.
  template <class IdOf>
  bool KeptOut(WinShown shown, std::wstring_view name, IdOf&& idOf) const {
    if (shown == WinShown::kNothing) return true;
    const Role role = RoleOfName(shown, name);
    if (role == Role::kNone) return shown == WinShown::kTempOnly;
    return KeptOutById(shown, idOf());
  }

 private:
  enum class Role { kNone, kMaybeKept, kMaybeTemp };
  struct Known {
    WinFileId id;
    std::wstring name;  // the last name of its path
  };

  bool MayBeSystemFolder(std::wstring_view name) const;
  Role RoleOfName(WinShown shown, std::wstring_view name) const;
  bool KeptOutById(WinShown shown, const std::optional<WinFileId>& id) const;

  std::optional<Known> windows_;
  std::optional<Known> temp_;
  std::vector<Known> programs_;
};

}  // namespace tidwen

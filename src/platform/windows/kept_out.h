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
//
// Under Wine a folder can have other names (a Unix bind mount shows it
// elsewhere under any name) and Wine gives serial numbers by drive letter,
// so there a folder is known by its Unix file system and inode (see
// wine_host.h), and the Unix system's own trees are kept out too on every
// drive that reaches them, as the Linux build keeps them out: the trees of
// rules/unix_system_trees.h, with /var shown as the way to /var/tmp alone;
// the kernel's and the running system's file systems (/proc, /sys, /dev,
// /run, and any other mount of such a file system); and any mount that
// shows a part of one of these elsewhere.
//
// A drive whose root is, or lies in, a folder kept out lists nothing; so
// does a drive whose root is, or lies in, a tree that is never offered (a
// subst drive for a project's node_modules).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/windows/file_stamp_win.h"
#include "platform/windows/unix_mounts.h"
#include "platform/windows/wine_host.h"

namespace tidwen {

// The identity of an open directory, as FileIdOf gives it; nothing when it
// cannot be opened. longPath is a "\\?\" path.
std::optional<WinFileId> FolderIdOf(const std::wstring& longPath);

// How much of a directory's listing is shown.
struct WinShown {
  enum Kind : unsigned char {
    kAll,          // any directory but these below
    kPassageOnly,  // a folder kept out but for one subfolder: that one alone
    kNothing,      // a folder kept out, reached directly
  };
  Kind kind = kAll;
  std::size_t tree = 0;  // for kPassageOnly: whose passage is shown
};

// The directory a listing is read from: open at handle, on the volume of
// this serial number as FileIdOf gives it.
struct WinListedDirectory {
  void* handle = nullptr;
  std::uint64_t volume = 0;
};

class WinKeptOut {
 public:
  // Full paths of the folders, "C:\Windows"; any empty or not to be opened
  // is left out.
  struct Folders {
    std::wstring windows;                // shown as the way to its Temp folder alone
    std::vector<std::wstring> programs;  // kept out whole
  };
  // The machine's: the Windows folder and the known folders Program Files,
  // Program Files (x86) and ProgramData.
  static Folders SystemFolders();

  // Opens each folder to learn its identity. With wine, the Unix system's
  // trees and file systems are kept out too.
  WinKeptOut(Folders folders, std::unique_ptr<WineHost> wine);
  // The same, under Wine when the program runs under it.
  explicit WinKeptOut(Folders folders);
  ~WinKeptOut();
  WinKeptOut(const WinKeptOut&) = delete;
  WinKeptOut& operator=(const WinKeptOut&) = delete;

  // Learns the identities afresh. Under Wine mounts and drive letters come
  // and go while the program runs; a walk calls this where it starts, while
  // no other thread asks. On Windows the folders stay where they are.
  void Refresh();
  bool UnderWine() const { return wine_ != nullptr; }

  // What a listing of the directory open at handle shows. name is its own
  // last name, empty for a drive's root. On Windows the directory's
  // identity is asked only for a root or a name that a system folder bears
  // or that may be a short alias ("PROGRA~1"): any other directory cannot
  // be one of them there, which spares a call for every directory a scan
  // reads.
  WinShown ShownOf(std::wstring_view name, void* handle) const;
  // The same for a directory below a drive's root whose identity is known
  // without opening it (a walk served from the volume's own index).
  WinShown ShownOfId(std::wstring_view name, const WinFileId& id) const;
  static bool ShowsFiles(const WinShown& shown) { return shown.kind == WinShown::kAll; }

  // Whether the subdirectory `name`, of file number `file` as the listing
  // gives it, of the directory `in` that shows `shown`, is left out of its
  // listing. Told by identity, whatever its name: on Windows by the
  // listing's volume and the file number, under Wine by the Unix file
  // system and inode, learnt only for a file number that one of the kept
  // folders bears.
  bool KeptOut(const WinShown& shown, std::wstring_view name, std::uint64_t file,
               const WinListedDirectory& in) const;

  // The last name of a "\\?\" path, empty for a drive's root.
  static std::wstring_view LastNameOf(std::wstring_view longPath);

 private:
  struct Tree {
    WinFileId id;
    std::wstring name;                 // the last name of its path
    std::optional<WinFileId> passage;  // the one subfolder shown
    std::string realPath;              // under Wine, its Unix path
    std::string passageRealPath;       // and its passage's
  };

  // Adds a tree by the path to open it by; false when it cannot be opened.
  bool Add(const std::wstring& openPath, std::optional<std::wstring> passage);
  void AddUnixTrees();
  // The identity of a kept folder open at handle, and under Wine its Unix
  // path; false when it has none.
  bool KnownId(void* handle, WinFileId& id, std::string& realPath) const;
  // The file number of the directory open at handle: under Wine its inode.
  std::uint64_t FileNumberOf(void* handle) const;
  // The identity of the directory open at handle, nothing when unknown.
  std::optional<WinFileId> IdOf(void* handle) const;
  std::optional<WinFileId> IdOfChild(const WinListedDirectory& in, std::wstring_view name,
                                     std::uint64_t file) const;
  // Whether a directory of this file number and identity is the kept one.
  bool Matches(const WinFileId& kept, std::uint64_t file, const std::optional<WinFileId>& id) const;
  const Tree* TreeOf(std::uint64_t file, const std::optional<WinFileId>& id) const;
  WinShown ShownOfTree(const Tree* t) const;
  WinShown ShownOfRoot(void* handle) const;
  bool MayBeSystemFolder(std::wstring_view name) const;

  Folders folders_;
  std::unique_ptr<WineHost> wine_;
  UnixMounts mounts_;
  std::vector<Tree> trees_;
  std::unordered_set<std::uint64_t> files_;  // the trees' and passages' file numbers
};

}  // namespace tidwen

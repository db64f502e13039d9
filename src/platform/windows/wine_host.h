// What the Windows build learns of the Unix system beneath it when Wine
// runs it. Wine shows the Unix tree through drive letters (Z: for "/", by
// default), a mount point as a plain folder, and a symbolic link to a file
// as the file; it gives every volume serial number by drive letter. So
// under Wine the Windows build tells directories apart as the Linux build
// does: by the Unix file system and the inode, learnt from the real Unix
// path and the mount table.
//
// Wine's kernel32 exports wine_get_unix_file_name, which Windows has not:
// that is how the build learns it runs under Wine.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace tidwen {

class WineHost {
 public:
  // The host when running under Wine; nullptr on Windows.
  static std::unique_ptr<WineHost> Detect();

  // The Unix path Wine maps a DOS path to, links on the way left as they
  // are ("/root/.wine/dosdevices/c:/windows"); empty when there is none.
  std::string UnixPathOf(const std::wstring& dosPath) const;
  // The path to open a Unix path by, whatever drive letters there are:
  // "\\?\unix/usr".
  static std::wstring OpenPathOf(std::string_view unixPath);
  // The Unix path of the directory or file open at handle, every link
  // resolved, "/usr/share"; empty when it cannot be told.
  std::string RealPathOf(void* handle) const;
  // The inode of the directory or file open at handle, 0 when unknown.
  // Asked of the open file alone, unlike a file ID, whose volume serial
  // number Wine asks of its mount manager, another process.
  std::uint64_t InodeOf(void* handle) const;
  // The text of the mount table; empty when it cannot be read.
  static std::string ReadMountInfo();
  // Forgets the drives' roots learnt so far: drive letters come and go.
  void ForgetDrives();

 private:
  using ToUnix = char* (*)(const wchar_t*);
  // NtQueryInformationFile.
  using QueryFile = long (*)(void* handle, void* status, void* info, unsigned long length,
                             int kind);
  WineHost(ToUnix toUnix, QueryFile queryFile) : toUnix_(toUnix), queryFile_(queryFile) {}
  // The real Unix path of a drive letter's root.
  std::string RealRootOf(wchar_t letter, int depth) const;
  // The real Unix path of a path the system resolved ("Z:\a", "unix\a").
  std::string RealPathOfFinal(std::wstring_view final, int depth) const;

  ToUnix toUnix_;
  QueryFile queryFile_;
  mutable std::mutex mutex_;  // the roots are asked from the read-ahead's threads too
  mutable std::map<wchar_t, std::string> roots_;
};

}  // namespace tidwen

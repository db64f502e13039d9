#include "support/fuzz_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "model/display_text.h"
#include "model/runtime_error.h"
#include "platform/linux/drive_path.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/sys_calls.h"
#include "support/error_of.h"
#include "support/temp_tree.h"

namespace tidwen::test {

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Every piece between separators, empty ones included.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  while (true) {
    const std::size_t at = text.find(separator);
    pieces.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return pieces;
    text.remove_prefix(at + 1);
  }
}

bool HoldsNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

std::string QuotedList(const std::vector<std::string>& items) {
  std::string out = "{";
  for (const std::string& item : items) {
    if (out.size() > 1) out += ", ";
    out += Quoted(item);
  }
  return out + "}";
}

// The code points of valid UTF-8.
std::vector<std::uint32_t> CodePoints(std::string_view text) {
  std::vector<std::uint32_t> points;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    std::uint32_t cp = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    points.push_back(cp);
    i += length;
  }
  return points;
}

// A character that would not show as one visible mark on one line.
bool Unshowable(std::uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029;
}

std::string PrintableAscii(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c >= 0x20 && c < 0x7F) out.push_back(c);
  }
  return out;
}

bool WellFormedDrivePath(const DriveTable& table, std::string_view path) {
  if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return false;
  const bool known = std::any_of(table.Drives().begin(), table.Drives().end(),
                                 [&](const Drive& d) { return d.letter == AsciiLower(path[0]); });
  if (!known) return false;
  if (path.size() == 3) return true;
  for (const std::string_view name : Split(path.substr(3), '\\')) {
    if (name.empty() || name == "." || name == ".." || HoldsNul(name) ||
        name.find('/') != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

// A mount point holds path when path is the mount point or lies below it.
bool Holds(std::string_view mount, std::string_view path) {
  if (mount == "/") return !path.empty() && path.front() == '/';
  return path.substr(0, mount.size()) == mount &&
         (path.size() == mount.size() || path[mount.size()] == '/');
}

std::string CheckAsDrivePath(const DriveTable& table, std::string_view path) {
  const std::optional<std::string> posix = table.ToPosixPath(path);
  // Taking any text apart must be safe: the file operations do it before
  // they check anything.
  const ParentAndName split = SplitParent(path);
  const bool wellFormed = WellFormedDrivePath(table, path);
  if (posix.has_value() != wellFormed) {
    return wellFormed
               ? "ToPosixPath rejected the well-formed " + Quoted(path)
               : "ToPosixPath accepted the malformed " + Quoted(path) + " as " + Quoted(*posix);
  }
  if (!posix) return "";
  const std::string shown = Quoted(path) + " -> " + Quoted(*posix);

  const std::string& mount = table.Find(path[0])->mountPoint;
  if (!Holds(mount, *posix)) return "not below the mount point: " + shown;
  const std::string_view below =
      std::string_view(*posix).substr(mount == "/" ? 1 : std::min(posix->size(), mount.size() + 1));
  std::string expectedBelow(path.substr(3));
  std::replace(expectedBelow.begin(), expectedBelow.end(), '\\', '/');
  if (below != expectedBelow) return "names changed on the way: " + shown;
  if (*posix != "/") {
    for (const std::string_view name : Split(std::string_view(*posix).substr(1), '/')) {
      if (name.empty() || name == "." || name == ".." || HoldsNul(name)) {
        return "empty, \".\", \"..\" or NUL name in " + shown;
      }
    }
  }

  if (path.size() == 3) {
    if (!split.name.empty() || split.parent != path) return "a root split into a name: " + shown;
  } else {
    if (split.name.empty() || split.name.find('\\') != std::string_view::npos) {
      return "SplitParent gave the name " + Quoted(split.name) + " for " + shown;
    }
    const std::string joined = std::string(split.parent) + (split.parent.size() == 3 ? "" : "\\") +
                               std::string(split.name);
    if (joined != path) return "parent and name do not make up " + Quoted(path);
    const std::optional<std::string> parentPosix = table.ToPosixPath(split.parent);
    if (!parentPosix)
      return "the parent " + Quoted(split.parent) + " of " + shown + " maps nowhere";
    const std::string expected =
        (*parentPosix == "/" ? "" : *parentPosix) + "/" + std::string(split.name);
    if (expected != *posix) return "the parent of " + shown + " maps to " + Quoted(*parentPosix);
  }

  const std::optional<std::string> back = table.ToDrivePath(*posix);
  if (!back) return "ToDrivePath rejects the mapped " + shown;
  if (!SameDrivePath(*back, path)) {
    // Only a path running into a deeper drive's mount point comes back as a
    // path of that drive, and it still names the same place.
    const Drive* deeper = table.Find((*back)[0]);
    if (deeper == nullptr || deeper->mountPoint.size() <= mount.size() ||
        table.ToPosixPath(*back) != posix) {
      return "no round trip: " + shown + " -> " + Quoted(*back);
    }
  }
  return "";
}

std::string CheckAsPosixPath(const DriveTable& table, std::string_view path) {
  const std::optional<std::string> drivePath = table.ToDrivePath(path);
  if (path.empty() || path.front() != '/') {
    return drivePath ? "ToDrivePath accepted the relative " + Quoted(path) : "";
  }
  std::string normalized;
  bool plain = true;
  for (const std::string_view name : Split(path.substr(1), '/')) {
    if (name.empty()) continue;
    plain = plain && name != "." && name != ".." && name.find('\\') == std::string_view::npos &&
            !HoldsNul(name);
    normalized += '/';
    normalized += name;
  }
  if (normalized.empty()) normalized = "/";
  if (!drivePath) return plain ? "ToDrivePath rejected the plain " + Quoted(path) : "";

  const std::string shown = Quoted(path) + " -> " + Quoted(*drivePath);
  if (!WellFormedDrivePath(table, *drivePath)) return "ToDrivePath gave a malformed " + shown;
  const std::optional<std::string> back = table.ToPosixPath(*drivePath);
  if (back != normalized) return "no round trip: " + shown + " -> " + Quoted(back.value_or(""));
  const Drive* best = nullptr;
  for (const Drive& d : table.Drives()) {
    if (Holds(d.mountPoint, normalized) &&
        (best == nullptr || d.mountPoint.size() > best->mountPoint.size())) {
      best = &d;
    }
  }
  if (best == nullptr || best->letter != (*drivePath)[0]) {
    return "not on the drive with the longest mount point holding it: " + shown;
  }
  return "";
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// Beside every name: close look-alikes (case, suffix, display text), a
// hidden file, one that holds "\", and a subdirectory. "n" must stay first.
const std::vector<std::pair<std::string, bool>> kNeighbours = {
    {"n", false},       {"n.tmp", false},       {"N.TMP", false},   {".n", false},
    {"n\\m", false},    {"caf\xC3\xA9", false}, {"caf\xE9", false}, {"nl\n", false},
    {"sp ace ", false}, {"sub", true}};

constexpr std::string_view kNeighbourBytes = "neighbour";

// The real calls on a kernel without openat2, so that paths are resolved one
// component at a time.
class NoOpenAt2 final : public ForwardingSysCalls {
 public:
  NoOpenAt2() : ForwardingSysCalls(real_) {}
  int OpenAt2(int, const char*, const open_how&) override { return -ENOSYS; }

 private:
  RealSysCalls real_;
};

}  // namespace

std::string Quoted(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && c != '"' && c != '\\') {
      out.push_back(c);
    } else if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0xF]);
    }
  }
  return out + "\"";
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::size_t length;
    std::uint32_t cp;
    if (b0 < 0x80) {
      ++i;
      continue;
    } else if ((b0 & 0xE0) == 0xC0) {
      length = 2;
      cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
      length = 3;
      cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
      length = 4;
      cp = b0 & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

DriveTable FuzzDriveTable() {
  return DriveTable({Drive{'c', "/", "ext4"}, Drive{'d', "/mnt/data", "ext4"},
                     Drive{'e', "/media/usb disk", "vfat"}, Drive{'f', "/mnt/data/inner", "xfs"},
                     Drive{'g', "/srv/odd\\name", "nfs4"}});
}

std::string CheckDrivePathMapping(std::string_view input) {
  static const DriveTable table = FuzzDriveTable();
  std::string failure = CheckAsDrivePath(table, input);
  if (failure.empty()) failure = CheckAsPosixPath(table, input);
  return failure;
}

std::string CheckDisplayText(std::string_view input) {
  const std::string out = DisplayText(input);
  const std::string shown = Quoted(input) + " -> " + Quoted(out);
  if (!IsValidUtf8(out)) return "not valid UTF-8: " + shown;
  for (const std::uint32_t cp : CodePoints(out)) {
    if (Unshowable(cp)) return "a control character or line break is left in " + shown;
  }
  // Nothing readable is lost or made up: pictures and replacements are never
  // ASCII, and no ASCII byte is taken into a replaced sequence.
  if (PrintableAscii(out) != PrintableAscii(input)) return "ASCII text changed: " + shown;
  if (out.size() > 3 * input.size()) return "more than three bytes per byte: " + shown;
  if (IsValidUtf8(input)) {
    const std::vector<std::uint32_t> points = CodePoints(input);
    if (std::none_of(points.begin(), points.end(), Unshowable) && out != input) {
      return "showable text changed: " + shown;
    }
  }
  return "";
}

std::string FuzzSourceDir() { return TIDWEN_SOURCE_DIR "/fuzz"; }

std::vector<KeptInput> KeptInputs(const std::string& fuzzDir, std::string_view target) {
  std::vector<KeptInput> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    const std::filesystem::path dir = std::filesystem::path(fuzzDir) / kind / target;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      inputs.push_back(KeptInput{entry.path().string(), bytes.str()});
    }
  }
  std::sort(inputs.begin(), inputs.end(),
            [](const KeptInput& a, const KeptInput& b) { return a.file < b.file; });
  return inputs;
}

FileNameCheck::FileNameCheck(std::string dir) : dir_(std::move(dir)) {
  dirFd_ = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd_ < 0) throw std::runtime_error(ErrnoText("cannot open " + dir_));
  for (const auto& [name, isDirectory] : kNeighbours) {
    neighbours_.push_back(Neighbour{name, isDirectory, 0});
    MakeNeighbour(neighbours_.back());
  }
}

FileNameCheck::~FileNameCheck() {
  for (const std::string& name : NamesIn(dirFd_)) {
    if (::unlinkat(dirFd_, name.c_str(), 0) != 0) ::unlinkat(dirFd_, name.c_str(), AT_REMOVEDIR);
  }
  ::close(dirFd_);
}

void FileNameCheck::MakeNeighbour(Neighbour& neighbour) {
  const char* name = neighbour.name.c_str();
  if (neighbour.isDirectory) {
    if (::mkdirat(dirFd_, name, 0755) != 0) {
      throw std::runtime_error(ErrnoText("cannot make " + Quoted(name)));
    }
  } else {
    const int fd = ::openat(dirFd_, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error(ErrnoText("cannot make " + Quoted(name)));
    const bool written = ::write(fd, kNeighbourBytes.data(), kNeighbourBytes.size()) ==
                         static_cast<ssize_t>(kNeighbourBytes.size());
    ::close(fd);
    if (!written) throw std::runtime_error(ErrnoText("cannot write " + Quoted(name)));
  }
  struct stat st {};
  if (::fstatat(dirFd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    throw std::runtime_error(ErrnoText("cannot look at " + Quoted(name)));
  }
  neighbour.inode = st.st_ino;
}

bool FileNameCheck::Applies(std::string_view name) {
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
  if (name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) return false;
  return std::none_of(kNeighbours.begin(), kNeighbours.end(),
                      [&](const auto& n) { return n.first == name; });
}

std::string FileNameCheck::Check(std::string_view name) {
  if (!Applies(name)) return "";
  const std::string nameZ(name);
  // Lengths 0 to 3, so empty files are among them.
  const off_t length = static_cast<off_t>(name.size() % 4);
  // Once with openat2 resolving paths, once walking them a component at a
  // time.
  for (const bool openAt2 : {true, false}) {
    std::string failure;
    const int fd =
        ::openat(dirFd_, nameZ.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      failure = ErrnoText("cannot create " + Quoted(name));
    } else {
      const bool written = ::write(fd, "xyz", length) == length;
      ::close(fd);
      if (!written) {
        failure = ErrnoText("cannot write " + Quoted(name));
      } else if (openAt2) {
        RealSysCalls sys;
        failure = Run(name, length, sys);
      } else {
        NoOpenAt2 sys;
        failure = Run(name, length, sys);
        if (!failure.empty()) failure += " (without openat2)";
      }
    }
    Restore(name);
    if (!failure.empty()) return failure;
  }
  return "";
}

std::string FileNameCheck::Run(std::string_view name, off_t length, SysCalls& sys) {
  const std::string nameZ(name);
  const std::string shown = Quoted(name);
  const bool addressable = name.find('\\') == std::string_view::npos;
  const bool listed = addressable && name.front() != '.';
  const std::string posixPath = dir_ + "/" + nameZ;
  const std::string drivePath = "c:\\" + nameZ;

  struct stat st {};
  if (::fstatat(dirFd_, nameZ.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return ErrnoText("cannot look at " + shown);
  }
  // The file a stamp names; what else a stamp records is the platform's
  // business.
  const auto namesTheFile = [&](const FileStamp& s) {
    return s.known && s.device == static_cast<std::uint64_t>(st.st_dev) &&
           s.inode == static_cast<std::uint64_t>(st.st_ino) && s.empty == (length == 0);
  };

  LinuxPlatform platform(DriveTable({Drive{'c', dir_, ""}}), sys);
  const DriveTable& drives = platform.Table();
  const std::optional<std::string> toPosix = drives.ToPosixPath(drivePath);
  const std::optional<std::string> toDrive = drives.ToDrivePath(posixPath);
  if (addressable) {
    if (toPosix != posixPath) return shown + " maps to " + Quoted(toPosix.value_or("nothing"));
    if (toDrive != drivePath)
      return shown + " comes back as " + Quoted(toDrive.value_or("nothing"));
  } else if (toDrive) {
    return shown + " holds \"\\\" but has the drive path " + Quoted(*toDrive);
  }

  try {
    FileLengthService& fileLength = platform.FileLength();
    if (addressable) {
      // Nothing is listed yet, so the file is reached from the mount point.
      if (fileLength.FileLen(drivePath) != length) return "wrong length for " + shown;
      if (!namesTheFile(fileLength.LastStamp())) return "another file measured for " + shown;
    }

    FileListControl& file1 = platform.File1();
    file1.SetPath("c:\\");
    std::vector<std::string> files;
    for (std::int64_t i = 0; i < file1.ListCount(); ++i) files.emplace_back(file1.List(i));
    std::vector<std::string> expectedFiles;
    for (const Neighbour& n : neighbours_) {
      if (!n.isDirectory && n.name.front() != '.' && n.name.find('\\') == std::string::npos) {
        expectedFiles.push_back(n.name);
      }
    }
    if (listed) expectedFiles.push_back(nameZ);
    std::sort(expectedFiles.begin(), expectedFiles.end());
    if (files != expectedFiles) {
      return "File1 lists " + QuotedList(files) + " instead of " + QuotedList(expectedFiles);
    }
    DirListControl& dir1 = platform.Dir1();
    dir1.SetPath("c:\\");
    if (dir1.ListCount() != 1 || dir1.List(0) != "c:\\sub") {
      return "Dir1 lists more than the subdirectory beside " + shown;
    }
    if (!addressable) {
      // "c:\" followed by the name reads as a deeper path, which names
      // nothing here: no file of the directory may be measured or deleted.
      const int lengthError = ErrorOf([&] { fileLength.FileLen(drivePath); });
      const int deleteError = ErrorOf([&] {
        platform.FileSystem().CreateFileSystemObject()->GetFile(drivePath, {})->Delete();
      });
      for (const int e : {lengthError, deleteError}) {
        if (e != kFileNotFound && e != kBadFileName) {
          return "the drive path " + Quoted(drivePath) + " gave " + std::to_string(e);
        }
      }
      return CheckNeighbours(name, true);
    }

    // Now measured relative to the directory the listing holds open, by
    // either case of the drive letter.
    if (fileLength.FileLen(drivePath) != length || fileLength.FileLen("C:\\" + nameZ) != length) {
      return "wrong length through the listing for " + shown;
    }
    const FileStamp stamp = fileLength.LastStamp();
    if (!namesTheFile(stamp)) return "another file measured for " + shown;

    FileSystemService& fs = platform.FileSystem();
    {
      // A look-up alone deletes nothing.
      const auto object = fs.CreateFileSystemObject();
      object->GetFile(drivePath, stamp);
    }
    if (::fstatat(dirFd_, nameZ.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return "GetFile alone removed " + shown;
    }
    {
      // In a batch whose kept directory comes from a neighbour's look-up, so
      // the name is checked against the directory kept open.
      const DeletionBatch batch(fs);
      const auto object = fs.CreateFileSystemObject();
      object->GetFile("c:\\n", FileStamp{});
      const auto file = object->GetFile("C:\\" + nameZ, stamp);
      file->Delete();
      if (const int again = ErrorOf([&] { file->Delete(); }); again != kFileNotFound) {
        return "a second Delete of " + shown + " gave " + std::to_string(again);
      }
    }
    if (::fstatat(dirFd_, nameZ.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) {
      return "Delete left " + shown;
    }
    if (const int e = ErrorOf([&] { fileLength.FileLen(drivePath); }); e != kFileNotFound) {
      return "FileLen of the deleted " + shown + " gave " + std::to_string(e);
    }
    const int e = ErrorOf([&] { fs.CreateFileSystemObject()->GetFile(drivePath, {}); });
    if (e != kFileNotFound) return "GetFile of the deleted " + shown + " gave " + std::to_string(e);
  } catch (const RuntimeError& e) {
    return "error " + std::to_string(e.Number()) + " for " + shown + ": " + Quoted(e.what());
  }
  return CheckNeighbours(name, false);
}

std::string FileNameCheck::CheckNeighbours(std::string_view name, bool nameExpected) const {
  std::vector<std::string> expected;
  for (const Neighbour& n : neighbours_) expected.push_back(n.name);
  if (nameExpected) expected.emplace_back(name);
  std::sort(expected.begin(), expected.end());
  const std::vector<std::string> entries = NamesIn(dirFd_);
  if (entries != expected) {
    return "after " + Quoted(name) + " the directory holds " + QuotedList(entries) +
           " instead of " + QuotedList(expected);
  }
  for (const Neighbour& n : neighbours_) {
    struct stat st {};
    if (::fstatat(dirFd_, n.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_ino != n.inode ||
        (!n.isDirectory && st.st_size != static_cast<off_t>(kNeighbourBytes.size()))) {
      return "the neighbour " + Quoted(n.name) + " changed with " + Quoted(name);
    }
  }
  return "";
}

void FileNameCheck::Restore(std::string_view name) {
  ::unlinkat(dirFd_, std::string(name).c_str(), 0);
  for (const std::string& entry : NamesIn(dirFd_)) {
    const bool known = std::any_of(neighbours_.begin(), neighbours_.end(),
                                   [&](const Neighbour& n) { return n.name == entry; });
    if (!known && ::unlinkat(dirFd_, entry.c_str(), 0) != 0) {
      ::unlinkat(dirFd_, entry.c_str(), AT_REMOVEDIR);
    }
  }
  for (Neighbour& n : neighbours_) {
    struct stat st {};
    if (::fstatat(dirFd_, n.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      try {
        MakeNeighbour(n);
      } catch (const std::runtime_error&) {
        // The next check reports the neighbour as missing.
      }
    }
  }
}

}  // namespace tidwen::test

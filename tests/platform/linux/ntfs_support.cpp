#include "ntfs_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "memory_platform.h"
#include "model/plain_controls.h"
#include "platform/linux/linux_platform.h"
#include "rules/junk_rules.h"
#include "scan/drive_walk.h"

namespace tidwen::test {

namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// The volume in a file or at a device, read with pread.
class FileVolume final : public VolumeBytes {
 public:
  explicit FileVolume(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FileVolume() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FileVolume(const FileVolume&) = delete;
  FileVolume& operator=(const FileVolume&) = delete;
  bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
    return fd_ >= 0 && ::pread(fd_, out.data(), out.size(), static_cast<off_t>(offset)) ==
                           static_cast<ssize_t>(out.size());
  }

 private:
  int fd_;
};

// What the filler calls: each returns "" or what failed.
std::string Write(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Errno("cannot create " + path);
  const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  return ok ? "" : Errno("cannot write " + path);
}

std::string Dir(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST ? "" : Errno("cannot make " + path);
}

std::string Xattr(const std::string& path, const char* name, std::string_view value) {
  return ::lsetxattr(path.c_str(), name, value.data(), value.size(), 0) == 0
             ? ""
             : Errno(std::string("cannot set ") + name + " of " + path);
}

// FILE_ATTRIBUTE_* as ntfs-3g takes them.
std::string Attributes(const std::string& path, std::uint32_t attributes) {
  const char be[4] = {static_cast<char>(attributes >> 24), static_cast<char>(attributes >> 16),
                      static_cast<char>(attributes >> 8), static_cast<char>(attributes)};
  return Xattr(path, "system.ntfs_attrib_be", std::string_view(be, 4));
}

void Le(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

std::string Utf16(std::string_view ascii) {
  std::string out;
  for (const char c : ascii) Le(out, static_cast<unsigned char>(c), 2);
  return out;
}

// A Windows junction (tag 0xA0000003) or symbolic link (0xA000000C) to
// target, as reparse data.
std::string ReparseData(bool symlink, std::string_view target) {
  const std::string substitute = Utf16(std::string("\\??\\") + std::string(target));
  const std::string print = Utf16(target);
  std::string body;
  Le(body, 0, 2);
  Le(body, substitute.size(), 2);
  Le(body, substitute.size() + 2, 2);
  Le(body, print.size(), 2);
  if (symlink) Le(body, 0, 4);  // an absolute link
  body += substitute + std::string(2, '\0') + print + std::string(2, '\0');
  std::string data;
  Le(data, symlink ? 0xA000000C : 0xA0000003, 4);
  Le(data, body.size(), 2);
  Le(data, 0, 2);
  return data + body;
}

// Fills the volume, then frees every other filler: records made next go
// to an MFT grown in scattered pieces.
std::string FragmentMft(const std::string& root) {
  const std::string chunk(256 * 1024, 'f');
  std::vector<std::string> fillers;
  while (true) {
    const std::string path = root + "/filler" + std::to_string(fillers.size()) + ".dat";
    if (!Write(path, chunk).empty()) {
      ::unlink(path.c_str());
      break;
    }
    fillers.push_back(path);
  }
  for (std::size_t i = 0; i < fillers.size(); i += 2) ::unlink(fillers[i].c_str());
  return fillers.size() < 8 ? "the volume took too few fillers" : "";
}

}  // namespace

std::string FillNtfsTree(const std::string& root, bool windowsFair) {
  std::vector<std::pair<std::string, std::string>> files;  // path below root, bytes
  const auto file = [&](std::string path, std::string bytes = "abc") {
    files.emplace_back(std::move(path), std::move(bytes));
  };
  for (const std::string d : {"junk", "empty", "links", "other", "many", "names", "streams",
                              "packed", "dos", "node_modules", "node_modules/pkg", "deep"}) {
    if (std::string e = Dir(root + "/" + d); !e.empty()) return e;
  }
  // Every suffix type, as listed and in upper case.
  for (int i = 0; i < kZeroLengthType; ++i) {
    const std::string suffix(kJunkTypes[static_cast<std::size_t>(i)].suffix);
    file("junk/j" + std::to_string(i) + suffix);
    std::string upper = "J" + std::to_string(i) + suffix;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    file("junk/" + upper);
  }
  for (const char* name : {"e.txt", "e.tmp", "E.BAK", "zero"})
    file(std::string("empty/") + name, "");
  file("links/a.tmp");
  file("names/" + std::string(251, 'n') + ".tmp");
  file("names/smile\xF0\x9F\x98\x80.tmp");  // beyond the BMP
  file("names/caf\xC3\xA9.old", "");
  file("names/Zeta.tmp");
  file("names/alpha.TMP");
  file("streams/one.tmp");
  file("streams/forty.bak");
  file("packed/data.tmp", std::string(20000, 'p'));
  file("dos/longname_here.tmp");
  file("node_modules/pkg/kept.tmp");
  // Thousands of names in one directory.
  for (int i = 0; i < 3000; ++i)
    file("many/f" + std::to_string(i) + (i % 7 == 0 ? ".tmp" : ".dat"), i % 5 == 0 ? "" : "m");
  std::string deep = "deep";
  for (int i = 0; i < 40; ++i) {
    deep += "/d" + std::to_string(i);
    if (std::string e = Dir(root + "/" + deep); !e.empty()) return e;
  }
  file(deep + "/bottom.tmp");
  if (!windowsFair) {
    for (const std::string d :
         {"attrs", "reparse", "reparse/target", ".git", ".git/objects", ".hidden"}) {
      if (std::string e = Dir(root + "/" + d); !e.empty()) return e;
    }
    file("attrs/hidden.tmp");
    file("attrs/system.tmp");
    file("attrs/fifo_like.tmp", "");
    file("attrs/socket_like.tmp", "s");
    file("attrs/hidden_system.tmp", "");
    file("attrs/.dotted.tmp");
    file("names/back\\slash.tmp");
    file("names/ZETA.tmp");  // beside "Zeta.tmp": only case tells them apart
    file(".git/objects/o.tmp");
    file(".hidden/h.tmp");
    file("reparse/target/t.tmp");
    file("reparse/file_link.tmp");
  }
  // Records made after the stripes are freed lie in an MFT grown in pieces.
  if (std::string e = FragmentMft(root); !e.empty()) return e;
  for (const auto& [path, bytes] : files) {
    if (std::string e = Write(root + "/" + path, bytes); !e.empty()) return e;
  }
  // Hard links within a directory and across; one file of so many names,
  // and one of so many streams, that their records need an attribute list.
  std::vector<std::string> errors;
  const auto check = [&](int r, const std::string& what) {
    if (r != 0) errors.push_back(Errno(what));
  };
  check(::link((root + "/links/a.tmp").c_str(), (root + "/links/b.tmp").c_str()), "link b");
  check(::link((root + "/links/a.tmp").c_str(), (root + "/other/c.bak").c_str()), "link c");
  for (int i = 0; i < 80; ++i) {
    check(::link((root + "/streams/forty.bak").c_str(),
                 (root + "/names/name" + std::to_string(i) + ".old").c_str()),
          "link name");
  }
  for (int i = 0; i < 40; ++i) {
    const std::string name = "user.stream" + std::to_string(i);
    if (std::string e = Xattr(root + "/streams/forty.bak", name.c_str(), std::string(60, 's'));
        !e.empty()) {
      return e;
    }
  }
  if (std::string e = Xattr(root + "/streams/one.tmp", "user.side", "a named stream"); !e.empty()) {
    return e;
  }
  // A compressed directory compresses what is made in it; a sparse file.
  if (std::string e = Attributes(root + "/packed", 0x800); !e.empty()) return e;
  if (std::string e = Write(root + "/packed/squeezed.tmp", std::string(70000, 'q')); !e.empty()) {
    return e;
  }
  check(::truncate((root + "/packed/data.tmp").c_str(), 1 << 20), "sparse");
  // A Win32 name with its DOS name beside it.
  if (std::string e =
          Xattr(root + "/dos/longname_here.tmp", "system.ntfs_dos_name", "LONGNA~1.TMP");
      !e.empty()) {
    return e;
  }
  if (!windowsFair) {
    for (const auto& [path, attributes] :
         std::vector<std::pair<std::string, std::uint32_t>>{{"attrs/hidden.tmp", 0x2},
                                                            {"attrs/system.tmp", 0x4},
                                                            {"attrs/fifo_like.tmp", 0x4},
                                                            {"attrs/socket_like.tmp", 0x4},
                                                            {"attrs/hidden_system.tmp", 0x6}}) {
      if (std::string e = Attributes(root + "/" + path, attributes); !e.empty()) return e;
    }
    // ntfs-3g's own links and FIFOs are Interix system files.
    check(::symlink("../links/a.tmp", (root + "/attrs/interix_link.tmp").c_str()), "symlink");
    check(::mkfifo((root + "/attrs/interix_fifo.tmp").c_str(), 0644), "mkfifo");
    if (std::string e = Dir(root + "/reparse/junction"); !e.empty()) return e;
    if (std::string e = Dir(root + "/reparse/dir_link"); !e.empty()) return e;
    for (const auto& [path, symlink] :
         std::vector<std::pair<std::string, bool>>{{"reparse/junction", false},
                                                   {"reparse/dir_link", true},
                                                   {"reparse/file_link.tmp", true}}) {
      if (std::string e = Xattr(root + "/" + path, "system.ntfs_reparse_data",
                                ReparseData(symlink, "C:\\reparse\\target"));
          !e.empty()) {
        return e;
      }
    }
  }
  return errors.empty() ? "" : errors.front();
}

NtfsScan ScanNtfsDrive(LinuxPlatform& platform, bool index) {
  platform.SetVolumeIndex(index);
  PlainListControl list1, list2, list3;
  PlainLabel label1;
  PlainDriveList drive1{"c:"};
  ScriptedMessageBox box;
  Form1Context form =
      MakeForm1Context({list1, list2, list3, label1, drive1}, platform.Services(), box);
  Form_Load(form);
  Command1_Click(form);
  platform.ReleaseHandles();
  NtfsScan scan;
  for (std::int64_t i = 0; i < list1.ListCount(); ++i) {
    scan.hits.emplace_back(list1.List(i));
    scan.stamps.push_back(list1.Stamp(i));
  }
  scan.indexed = platform.IndexedListings();
  return scan;
}

std::string DumpMftIndex(const std::string& path, const MftReadOptions& options) {
  FileVolume volume(path);
  const MftRead read = ReadMftIndex(volume, options);
  if (!read.index) return "no index: " + read.failure;
  const MftIndex& index = *read.index;
  std::string out = "mft runs " + std::to_string(index.MftRuns()) + ", extension names " +
                    std::to_string(index.ExtensionNames()) + "\n";
  std::deque<std::pair<std::string, std::uint32_t>> queue{{"", MftIndex::kRoot}};
  while (!queue.empty()) {
    const auto [dir, record] = queue.front();
    queue.pop_front();
    for (const MftIndex::Entry& e : index.Children(record)) {
      if (e.record < MftIndex::kFirstUserRecord) continue;
      const MftFile& f = index.File(e.record);
      const std::string child = dir + "/" + std::string(index.Name(e));
      out += child + " #" + std::to_string(e.record) + " " + std::to_string(f.size) + " " +
             std::to_string(f.modified) + " " + std::to_string(f.attributes) + " " +
             std::to_string(f.flags) + "\n";
      if (f.Directory() && !f.Reparse()) queue.emplace_back(child, e.record);
    }
  }
  return out;
}

}  // namespace tidwen::test

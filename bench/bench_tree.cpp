#include "bench_tree.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "bench_model.h"

namespace tidwen::bench {

namespace {

// splitmix64: tiny, fast and the same on every platform and library, unlike
// the standard distributions.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); n > 0.
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }

 private:
  std::uint64_t state_;
};

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + Printable(path) + ": " + std::strerror(errno));
}

std::string Base36(std::uint64_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
    value /= 36;
  } while (value != 0);
  return digits;
}

// A random lower-case word followed by a number that makes it unique.
std::string UniqueBase(Rng& rng, std::uint64_t serial) {
  std::string word;
  std::size_t length = 3 + rng.Below(8);
  for (std::size_t i = 0; i < length; ++i) {
    word.push_back(static_cast<char>('a' + rng.Below(26)));
  }
  return word + "_" + Base36(serial);
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

constexpr std::array<std::string_view, 12> kOrdinaryExtensions = {".txt", ".c",   ".h",    ".dat",
                                                                  ".png", ".log", ".html", ".json",
                                                                  "",     ".cpp", ".md",   ".xml"};

// Names that look like junk but match no type: wrong case mixes, a junk
// suffix followed by more, one character too many or too few.
constexpr std::array<std::string_view, 14> kNearMisses = {".Bak",  ".bAK",  ".bak.txt", ".----",
                                                          ".tMp",  ".Tmp",  ".$$x",     "._Mp",
                                                          ".@@",   ".tmp ", ".old.gz",  ".chk1",
                                                          "$.txt", "~.txt"};

std::string OrdinaryName(Rng& rng, std::uint64_t serial) {
  return UniqueBase(rng, serial) + std::string(kOrdinaryExtensions[rng.Below(12)]);
}

// A name of junk type `type` (0 to 14), as listed or in upper case.
std::string JunkName(Rng& rng, std::uint64_t serial, std::size_t type) {
  std::string base = UniqueBase(rng, serial);
  std::string_view suffix = kBenchSuffixes[type];
  bool upper = rng.Below(2) == 1;
  if (suffix == "$") return base + (upper ? ".ab$" : "$");
  if (suffix == "~") return base + (upper ? ".txt~" : "~");
  return base + (upper ? UpperAscii(suffix) : std::string(suffix));
}

void WriteFile(const std::string& path, std::size_t size) {
  static const std::string kContent(4096, 'x');
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot create", path);
  if (size > 0 && write(fd, kContent.data(), size) != static_cast<ssize_t>(size)) {
    int saved = errno;
    close(fd);
    errno = saved;
    Fail("cannot write", path);
  }
  close(fd);
}

void MakeDir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) Fail("cannot create directory", path);
}

// Accounts one regular file in stats.
void CountFile(TreeStats& stats, std::string_view name, std::size_t size) {
  ++stats.files;
  if (!IsListedName(name)) {
    if (!name.empty() && name[0] == '.') ++stats.hiddenFiles;
    ++stats.keptFiles;
    return;
  }
  ++stats.listedFiles;
  if (size == 0) ++stats.emptyFiles;
  int hits = JunkEntryCount(name, size == 0);
  stats.expectedHits += hits;
  if (hits > 0) {
    ++stats.junkFiles;
  } else {
    ++stats.keptFiles;
  }
}

}  // namespace

TreeStats GenerateScanTree(const std::string& root, std::int64_t fileCount, std::int64_t dirCount,
                           std::uint64_t seed, std::int64_t specialCount, bool utf8Only) {
  Rng rng(seed);
  TreeStats stats;
  std::vector<std::string> dirs = {root};
  dirs.reserve(static_cast<std::size_t>(std::max<std::int64_t>(dirCount, 1)));
  for (std::int64_t i = 1; i < dirCount; ++i) {
    // A random recursive tree: any earlier directory may be the parent, which
    // gives a few wide levels near the root and some deep chains.
    const std::string& parent = dirs[rng.Below(static_cast<std::uint64_t>(i))];
    std::uint64_t kind = rng.Below(1000);
    std::string name = "d" + Base36(static_cast<std::uint64_t>(i));
    if (kind < 10) {
      name = "." + name;  // hidden directories are still walked
    } else if (kind < 12) {
      name += utf8Only ? "\xc3\xa9" : "\xff\xfe";  // not UTF-8
    }
    dirs.push_back(parent + "/" + name);
    MakeDir(dirs.back());
  }
  stats.dirs = static_cast<std::int64_t>(dirs.size());

  for (std::int64_t j = 0; j < fileCount; ++j) {
    auto serial = static_cast<std::uint64_t>(j);
    const std::string& dir = dirs[rng.Below(dirs.size())];
    std::uint64_t kind = rng.Below(10000);
    std::size_t size = 1 + rng.Below(256);
    std::string name;
    if (kind < 500) {
      name = JunkName(rng, serial, rng.Below(kBenchSuffixes.size()));
    } else if (kind < 600) {
      size = 0;
      name = rng.Below(2) == 0 ? JunkName(rng, serial, rng.Below(kBenchSuffixes.size()))
                               : OrdinaryName(rng, serial);
    } else if (kind < 800) {
      if (rng.Below(10) == 0) size = 0;
      name = "." + (rng.Below(2) == 0 ? JunkName(rng, serial, rng.Below(kBenchSuffixes.size()))
                                      : OrdinaryName(rng, serial));
    } else if (kind < 900) {
      name = UniqueBase(rng, serial) + std::string(kNearMisses[rng.Below(kNearMisses.size())]);
    } else if (kind < 905) {
      name = UniqueBase(rng, serial) + "\\x.tmp";  // no drive path can name it
    } else if (kind < 915) {
      const bool bad = rng.Below(2) == 0;
      name = UniqueBase(rng, serial) + (utf8Only ? (bad ? "\xc3\xa9.tmp" : "\xc3\xa9(.BAK")
                                                 : (bad ? "\xff\xfe.tmp" : "\xc3(.BAK"));
    } else {
      name = OrdinaryName(rng, serial);
    }
    WriteFile(dir + "/" + name, size);
    CountFile(stats, name, size);
  }

  // Entries that are not regular files: none of them may be listed, and no
  // directory link may be followed.
  for (std::int64_t k = 0; k < specialCount; ++k) {
    const std::string& dir = dirs[rng.Below(dirs.size())];
    std::string tag = Base36(static_cast<std::uint64_t>(k));
    std::string path;
    int rc = 0;
    switch (k % 4) {
      case 0:
        path = dir + "/ldir_" + tag;
        rc = symlink(dirs[rng.Below(dirs.size())].c_str(), path.c_str());
        break;
      case 1:
        path = dir + "/lnk_" + tag + ".tmp";
        rc = symlink((dir + "/../nowhere_" + tag).c_str(), path.c_str());
        break;
      case 2:
        path = dir + "/lroot_" + tag + ".bak";
        rc = symlink(root.c_str(), path.c_str());
        break;
      default:
        path = dir + "/fifo_" + tag + ".tmp";
        rc = mkfifo(path.c_str(), 0644);
        break;
    }
    if (rc != 0) Fail("cannot create", path);
    ++stats.specials;
  }
  return stats;
}

TreeStats GenerateDeleteTree(const std::string& root, std::int64_t junkCount, std::int64_t dirCount,
                             std::uint64_t seed) {
  Rng rng(seed);
  TreeStats stats;
  std::vector<std::string> dirs = {root};
  for (std::int64_t i = 1; i < dirCount; ++i) {
    // 32 directories under the root, 32 under each of those, and so on.
    dirs.push_back(dirs[static_cast<std::size_t>((i - 1) / 32)] + "/d" +
                   Base36(static_cast<std::uint64_t>(i)));
    MakeDir(dirs.back());
  }
  stats.dirs = static_cast<std::int64_t>(dirs.size());

  std::uint64_t serial = 0;
  for (std::int64_t j = 0; j < junkCount; ++j) {
    const std::string& dir = dirs[static_cast<std::size_t>(j % stats.dirs)];
    std::uint64_t kind = rng.Below(100);
    std::size_t size = 1 + rng.Below(256);
    std::string name;
    if (kind < 1) {
      size = 0;
      name = OrdinaryName(rng, serial++);
    } else if (kind < 15) {
      std::size_t type = rng.Below(kBenchSuffixes.size() - 1);
      if (kBenchSuffixes[type] == ".$$$") type = 0;
      name = JunkName(rng, serial++, type);
    } else {
      name = UniqueBase(rng, serial++) + (rng.Below(2) == 0 ? ".tmp" : ".TMP");
    }
    WriteFile(dir + "/" + name, size);
    CountFile(stats, name, size);
  }
  for (std::int64_t k = 0; k < junkCount / 10; ++k) {
    const std::string& dir = dirs[rng.Below(dirs.size())];
    std::uint64_t kind = rng.Below(10);
    std::string name;
    if (kind == 0) {
      name = "." + UniqueBase(rng, serial++) + ".tmp";
    } else if (kind == 1) {
      name = UniqueBase(rng, serial++) + std::string(kNearMisses[rng.Below(kNearMisses.size())]);
    } else {
      name = OrdinaryName(rng, serial++);
    }
    std::size_t size = 1 + rng.Below(256);
    WriteFile(dir + "/" + name, size);
    CountFile(stats, name, size);
  }
  return stats;
}

namespace {

DeleteLeftovers* gLeftovers = nullptr;

int CountLeftover(const char* path, const struct stat* st, int flag, struct FTW* ftw) {
  if (flag != FTW_F || !S_ISREG(st->st_mode)) return 0;
  std::string_view name(path + ftw->base);
  if (IsListedName(name) && JunkEntryCount(name, st->st_size == 0) > 0) {
    if (gLeftovers->junkLeft++ == 0) gLeftovers->firstJunkLeft = path;
  } else {
    ++gLeftovers->keptLeft;
  }
  return 0;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  // Keep going past failures; RemoveTree checks the root at the end.
  remove(path);
  return 0;
}

}  // namespace

DeleteLeftovers CountLeftovers(const std::string& root) {
  DeleteLeftovers leftovers;
  gLeftovers = &leftovers;
  if (nftw(root.c_str(), CountLeftover, 64, FTW_PHYS) != 0) Fail("cannot walk", root);
  gLeftovers = nullptr;
  return leftovers;
}

std::string MakeTempRoot(const std::string& parent, const std::string& tag) {
  std::string pattern = parent + "/tidwen-bench-" + tag + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot create directory", pattern);
  char resolved[PATH_MAX];
  if (realpath(pattern.c_str(), resolved) == nullptr) Fail("cannot resolve", pattern);
  return resolved;
}

bool RemoveTree(const std::string& root) {
  nftw(root.c_str(), RemoveEntry, 64, FTW_DEPTH | FTW_PHYS);
  struct stat st {};
  return lstat(root.c_str(), &st) != 0 && errno == ENOENT;
}

namespace {

// The trees to remove on a signal. Written only outside the handler, with
// the signals blocked, so the handler never sees a half-written slot.
constexpr int kGuardSlots = 8;
char gGuardedRoots[kGuardSlots][PATH_MAX];

class SignalBlock {
 public:
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalBlock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

void RemoveGuardedTrees(int signal) {
  // Only async-signal-safe calls: fork, execve, waitpid, signal, raise.
  for (auto& root : gGuardedRoots) {
    if (root[0] == '\0') continue;
    pid_t pid = fork();
    if (pid == 0) {
      char* const argv[] = {const_cast<char*>("rm"), const_cast<char*>("-rf"),
                            const_cast<char*>("--one-file-system"), root, nullptr};
      char* const envp[] = {nullptr};
      execve("/bin/rm", argv, envp);
      _exit(127);
    }
    if (pid > 0) {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }
  std::signal(signal, SIG_DFL);
  raise(signal);
}

}  // namespace

TreeGuard::TreeGuard(std::string root) : root_(std::move(root)) {
  if (root_.size() >= PATH_MAX) return;
  SignalBlock block;
  for (int i = 0; i < kGuardSlots; ++i) {
    if (gGuardedRoots[i][0] != '\0') continue;
    std::memcpy(gGuardedRoots[i], root_.c_str(), root_.size() + 1);
    slot_ = i;
    break;
  }
}

TreeGuard::~TreeGuard() {
  if (!keep_) RemoveTree(root_);
  Keep();
}

void TreeGuard::Keep() {
  keep_ = true;
  if (slot_ < 0) return;
  SignalBlock block;
  gGuardedRoots[slot_][0] = '\0';
  slot_ = -1;
}

void RemoveTreesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveGuardedTrees;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace tidwen::bench

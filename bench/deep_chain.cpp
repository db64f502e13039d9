#include "deep_chain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace tidwen::bench {

DeepChain::DeepChain(std::string root, int depth, int nameBytes)
    : root_(std::move(root)), name_(static_cast<std::size_t>(nameBytes), 'd'), depth_(depth) {
  int fd = ::open(root_.c_str(), O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < depth && fd >= 0; ++level) {
    const int file = ::openat(fd, "x.tmp", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const bool written = file >= 0 && ::write(file, "j", 1) == 1;
    if (file >= 0) ::close(file);
    const int next = written && ::mkdirat(fd, name_.c_str(), 0755) == 0
                         ? ::openat(fd, name_.c_str(), O_DIRECTORY | O_CLOEXEC)
                         : -1;
    ::close(fd);
    fd = next;
  }
  if (fd < 0) throw std::runtime_error("cannot make the deep chain in " + root_);
  ::close(fd);
}

DeepChain::~DeepChain() {
  int fd = ::open(root_.c_str(), O_DIRECTORY | O_CLOEXEC);
  int depth = 0;
  while (fd >= 0) {
    const int next = ::openat(fd, name_.c_str(), O_DIRECTORY | O_CLOEXEC);
    if (next < 0) break;
    ::close(fd);
    fd = next;
    ++depth;
  }
  // From the bottom up, each level's file and then the level itself.
  for (; fd >= 0; --depth) {
    ::unlinkat(fd, "x.tmp", 0);
    if (depth == 0) break;
    const int parent = ::openat(fd, "..", O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = parent;
    if (fd >= 0) ::unlinkat(fd, name_.c_str(), AT_REMOVEDIR);
  }
  if (fd >= 0) ::close(fd);
}

}  // namespace tidwen::bench

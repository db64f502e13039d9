// Another process holding a file the way programs hold the files they use,
// for as long as the object lives: open for reading, mapped with its
// descriptor closed, or open for appending by a shell that wrote a line.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace tidwen::test {

enum class Hold { kOpen, kMapped, kShellWriting };

inline const char* HoldName(Hold how) {
  switch (how) {
    case Hold::kOpen:
      return "Open";
    case Hold::kMapped:
      return "Mapped";
    case Hold::kShellWriting:
      return "ShellWriting";
  }
  return "";
}

class FileHolder {
 public:
  // Starts the holding process and waits until it holds the file. It ends
  // with the object, or with this process if that ends first.
  FileHolder(const std::string& path, Hold how) {
    int ready[2];
    int release[2];
    if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0) {
      error_ = "pipe failed";
      return;
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(1);
      // Its pipes as standard input and output, and nothing else: a write
      // end of another holder's pipe kept here would keep that one waiting.
      ::dup2(release[0], STDIN_FILENO);
      ::dup2(ready[1], STDOUT_FILENO);
      ::close_range(3, ~0U, 0);
      if (how == Hold::kShellWriting) {
        ::execlp("sh", "sh", "-c", "exec 3>>\"$1\" && echo line >&3 && echo held && read x", "sh",
                 path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
      }
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) ::_exit(1);
      if (how == Hold::kMapped) {
        if (::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0) == MAP_FAILED) ::_exit(1);
        ::close(fd);
      }
      char c = 'h';
      if (::write(STDOUT_FILENO, &c, 1) != 1) ::_exit(1);
      // Returns when the test lets go: its end of the pipe closes.
      [[maybe_unused]] const ssize_t n = ::read(STDIN_FILENO, &c, 1);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char c = 0;
    const ssize_t n = pid_ > 0 ? ::read(ready[0], &c, 1) : -1;
    ::close(ready[0]);
    if (n != 1) error_ = std::string("no process could hold ") + path + " " + HoldName(how);
  }
  ~FileHolder() { LetGo(); }
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

  // "" while the file is held, else why it is not.
  const std::string& Error() const { return error_; }

  // Ends the holding process and waits for it.
  void LetGo() {
    if (release_ >= 0) ::close(release_);
    release_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;  // closing it lets the holder go
  std::string error_;
};

}  // namespace tidwen::test

// Every input is a file name, created for real in one temporary directory
// mapped as drive c:, then listed, measured and deleted through the Linux
// platform. The directory is made once under $TMPDIR (or /tmp) and each
// input cleans up after itself; it is removed when the fuzzer exits normally.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "require.h"
#include "support/fuzz_checks.h"

namespace {

class Fixture {
 public:
  Fixture() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
    pattern += "/tidwen-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
      tidwen::fuzz::Require("cannot make a temporary directory from " + pattern);
    }
    // A drive's mount point is an absolute path, whatever $TMPDIR says.
    char* absolute = ::realpath(buffer.data(), nullptr);
    if (absolute == nullptr) tidwen::fuzz::Require("cannot resolve " + std::string(buffer.data()));
    dir_ = absolute;
    std::free(absolute);
    check_ = std::make_unique<tidwen::test::FileNameCheck>(dir_);
  }
  ~Fixture() {
    check_.reset();
    ::rmdir(dir_.c_str());
  }

  tidwen::test::FileNameCheck& Check() { return *check_; }

 private:
  std::string dir_;
  std::unique_ptr<tidwen::test::FileNameCheck> check_;
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TheFixture();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  tidwen::fuzz::Require(TheFixture().Check().Check(name));
  return 0;
}

// Every input is a name's bytes turned into text for the screen.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "require.h"
#include "support/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  tidwen::fuzz::Require(tidwen::test::CheckDisplayText(input));
  return 0;
}

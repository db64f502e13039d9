// Every input is laid over the Master File Table of a small sound NTFS
// volume, records, runlists and the MFT's own record 0 alike, and read by
// the MFT reader: it may give up, but never crash, and an index it gives
// must hold together and list only names the volume holds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "require.h"
#include "support/mft_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = std::as_bytes(std::span(data, size));
  tidwen::fuzz::Require(tidwen::test::CheckMftImage(input));
  return 0;
}

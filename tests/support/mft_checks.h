// The invariants of the Master File Table reader on damaged volumes, shared
// by its fuzz target and the tests that replay what the fuzzer kept. Each
// input is laid over the MFT of a small sound volume (ntfs_builder.h), so
// that what is fuzzed is records and runlists, the MFT's own included.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace tidwen::test {

// The MFT of the volume inputs are laid over, as bytes: the seed of the
// fuzzer, and the input that must give an index.
std::vector<std::byte> SoundMftBytes();

// Whether the volume with input over its MFT gives an index at all.
bool MftImageGivesIndex(std::span<const std::byte> input);

// Reads the volume with input over its MFT, in byte order with the heads
// of system files and in NTFS's order. The reader must not crash, and may
// give up; an index it gives must hold together: every directory reached
// once from the root, names not empty, well-formed WTF-8 without "/" or
// NUL, each directory's names in the order asked for and none twice, every
// listed record in use, no negative size. And it lists no file that is not
// there: every name stands in the volume's bytes, in UTF-16. Reading twice
// gives the same index. Returns "" or which invariant failed.
std::string CheckMftImage(std::span<const std::byte> input);

}  // namespace tidwen::test

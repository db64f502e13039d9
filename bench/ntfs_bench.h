// The scan of an NTFS drive by its Master File Table, against the floor
// walking the same tree on ext4 and the walk of the drive through ntfs-3g,
// warm and (as root) with the page cache emptied, and the memory each
// takes. Mounting the image takes root; without it the benchmark says so
// and is skipped.
#pragma once

#include <cstdint>
#include <string>

#include "bench_main.h"

namespace tidwen::bench {

// Generates the scan tree of files files (and files / 10 directories) on an
// NTFS image through ntfs-3g and once more on ext4, in a mount namespace of
// a child process, and prints every figure and ratio with its target;
// with options.keep both are kept in a folder that reuse may name later,
// to measure again without making them anew. False when a run could not be
// made or its hits were wrong.
bool NtfsBenchmark(const BenchOptions& options, std::int64_t files, const std::string& self,
                   const std::string& reuse = {});

}  // namespace tidwen::bench

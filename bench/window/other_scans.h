// The scans the window benchmark makes beside the window's: the command
// line's of the same tree, and the deep chain's, headless and through the
// window, beside the million-file tree's (what planting a chain of 4,096
// directories of 255-byte names costs a scan in memory).
#pragma once

#include <string>
#include <vector>

#include "bench_main.h"

namespace tidwen::bench {

// Whether tidwen-cli's output is what the headless scan listed (its records:
// drive paths of c: mapped to the tree), each with the tree's own drive path
// in front; prints a line either way.
bool CheckCliOutput(const std::string& output, const std::vector<std::string>& headlessRecords,
                    const std::string& rootDrivePath);

// The million-file tree's peaks, to print beside the chain's.
struct MillionPeaks {
  long headlessKb = 0;
  long windowKb = 0;
};

// Makes the chain under options.tmp, scans it with the headless and the
// window child of self (--child-scan-deep, --child-window-scan-deep), prints
// both peaks beside the tree's, and removes the chain. False when a child
// failed or missed a hit.
bool DeepChainBenchmark(const BenchOptions& options, const std::string& self,
                        const MillionPeaks& million);

}  // namespace tidwen::bench

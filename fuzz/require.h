// What a fuzz target does with a check's verdict: nothing when it passed,
// otherwise say what broke and abort, so that libFuzzer keeps the input as a
// crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tidwen::fuzz {

inline void Require(const std::string& failure) {
  if (failure.empty()) return;
  std::fprintf(stderr, "invariant violated: %s\n", failure.c_str());
  std::abort();
}

}  // namespace tidwen::fuzz

// The error number a piece of code stops with, for tests that compare
// numbers rather than catch exceptions one by one.
#pragma once

#include "model/runtime_error.h"

namespace tidwen::test {

// Runs f; the number of the RuntimeError it throws, or 0 when it throws
// none. Any other exception passes through.
template <class F>
int ErrorOf(F&& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace tidwen::test

#pragma once

// Invariant checks for the fuzz targets. A broken invariant aborts, which
// libFuzzer records as a finding (with the input that caused it) and the
// corpus replay as a failed test.

#include <cstdio>
#include <cstdlib>

namespace lumo::fuzz {

[[noreturn]] inline void invariantBroken(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::abort();
}

}  // namespace lumo::fuzz

// A macro, so that the message names the condition and its line.
#define FUZZ_CHECK(condition)                                                        \
  do {                                                                               \
    if (!(condition)) ::lumo::fuzz::invariantBroken(#condition, __FILE__, __LINE__); \
  } while (false)

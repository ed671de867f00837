// A benchmark's generated input, read once before the timing.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "workload/read_file.h"

namespace bench {

// The file's text; empty, with the run marked as skipped, when it is missing.
inline std::string read_input(benchmark::State& state, const char* path) {
  std::string text = workload::read_file(path);
  if (text.empty()) state.SkipWithError("benchmark input missing");
  return text;
}

}  // namespace bench

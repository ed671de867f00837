// The whole of a file as bytes; empty when it cannot be read, which the
// drivers and benchmarks report as a missing input.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace workload {

inline std::string read_file(const char* path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

}  // namespace workload

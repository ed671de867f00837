// Compiles one file a given number of times and prints the word count: a
// fixed amount of work, for instruction counts under callgrind and for the
// training run of the profile-guided build.
//
//   compile_once script|template FILE [RUNS]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/compile/compiler.h"
#include "workload/read_file.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: compile_once script|template FILE [RUNS]\n");
    return 2;
  }
  vaxo_core::config::Config config;
  if (std::string_view(argv[1]) == "template") config.input_mode = vaxo_core::config::InputMode::Template;
  const std::string text = workload::read_file(argv[2]);
  const int runs = argc > 3 ? std::atoi(argv[3]) : 1;
  std::size_t words = 0;
  bool chunk = false;
  for (int i = 0; i < runs; ++i) {
    auto result = vaxo_core::compile::Compiler::compile(text, config);
    words = result.diagnostics.size();
    chunk = result.chunk.has_value();
  }
  std::printf("%zu words, %s\n", words, chunk ? "chunk" : "no chunk");
  return 0;
}

// Lexes one file a given number of times and prints the token count: a fixed
// amount of work for instruction counts under callgrind.
//
//   lex_once script|template FILE [RUNS]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/lexer/lexer.h"
#include "workload/read_file.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: lex_once script|template FILE [RUNS]\n");
    return 2;
  }
  const bool template_mode = std::string_view(argv[1]) == "template";
  const std::string text = workload::read_file(argv[2]);
  const int runs = argc > 3 ? std::atoi(argv[3]) : 1;
  vaxo_core::config::Config config;
  std::size_t tokens = 0;
  for (int i = 0; i < runs; ++i) {
    auto in = vaxo_core::lexer::to_input(text, config);
    auto list = template_mode ? vaxo_core::lexer::lex_string(in) : vaxo_core::lexer::lex(in);
    if (!list) return 1;
    tokens = list->size();
  }
  std::printf("%zu bytes, %zu tokens\n", text.size(), tokens);
  return 0;
}

// One lex, parse, walk and destruction of a file, each stage in its own
// function, for instruction counts under callgrind:
//   valgrind --tool=callgrind --toggle-collect='*stage_parse*' parse_once FILE
// Prints the token count; `--no-walk` skips the walker.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/lexer/lexer.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"
#include "workload/read_file.h"

using namespace vaxo_core;

[[gnu::noinline]] std::vector<lexer::Token> stage_lex(const std::string& text, const config::Config& config) {
  auto in = lexer::to_input(text, config);
  auto tokens = lexer::lex(in);
  return tokens ? std::move(*tokens) : std::vector<lexer::Token>{};
}

[[gnu::noinline]] std::optional<parser::Script> stage_parse(const std::vector<lexer::Token>& tokens) {
  return parser::parse(tokens);
}

[[gnu::noinline]] void stage_walk(parser::Script& script, diagnostic::DiagnosticsCollector& collector) {
  parser::collect_diagnostics(script, collector);
}

[[gnu::noinline]] void stage_destroy(std::optional<parser::Script>& script) { script.reset(); }

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: parse_once FILE [--no-walk]\n");
    return 2;
  }
  bool walk = !(argc > 2 && std::strcmp(argv[2], "--no-walk") == 0);
  const std::string text = workload::read_file(argv[1]);
  config::Config config;
  diagnostic::DiagnosticsCollector collector(config, text);
  auto tokens = stage_lex(text, config);
  auto script = stage_parse(tokens);
  if (!script) {
    std::fprintf(stderr, "parse failed\n");
    return 1;
  }
  if (walk) stage_walk(*script, collector);
  stage_destroy(script);
  std::printf("%zu tokens, %zu bytes\n", tokens.size(), text.size());
  return 0;
}

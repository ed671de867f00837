// Runs the front end once over a file, then the emitter a given number of
// times, and prints the chunk size: a fixed amount of work for instruction
// counts under callgrind (toggle collection on vaxo_core::emitter::emit to
// leave the front end out). It also prints the fastest and the median
// emission, a steadier figure than a mean on a shared machine.
//
//   emit_once FILE [RUNS] [tags]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/compile/recover_token.h"
#include "core/emitter/emitter.h"
#include "core/lexer/lexer.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"
#include "workload/read_file.h"

int main(int argc, char** argv) {
  using namespace vaxo_core;
  if (argc < 2) {
    std::fprintf(stderr, "usage: emit_once FILE [RUNS] [tags]\n");
    return 2;
  }
  const std::string text = workload::read_file(argv[1]);
  const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
  config::Config config;
  if (argc > 3 && std::string_view(argv[3]) == "tags") {
    config.diagnostic_tag = true;
    config.diagnostic_sourcemap = true;
  }
  diagnostic::DiagnosticsCollector front(config, text);
  auto in = lexer::to_input(text, config);
  auto lexed = lexer::lex(in);
  if (!lexed) return 1;
  std::vector<lexer::Token> tokens;
  tokens.reserve(lexed->size());
  for (lexer::Token& t : *lexed) tokens.push_back(*compile::recover_token(std::move(t), front));
  auto script = parser::parse(tokens);
  if (!script) return 1;
  parser::collect_diagnostics(*script, front);
  std::size_t bytes = 0;
  std::size_t diagnostics = 0;
  // FNV-1a over the chunk and the emitter's diagnostics: a quick check that a
  // change kept the output.
  std::uint64_t digest = 0xcbf29ce484222325ULL;
  auto mix = [&digest](std::uint64_t v) {
    for (int b = 0; b < 8; ++b) digest = (digest ^ ((v >> (8 * b)) & 0xFF)) * 0x100000001b3ULL;
  };
  // Each run starts from the front end's diagnostics, as in a compilation.
  // Peak resident memory added by the emission (Linux): the high-water mark
  // is reset to the current size first.
  auto status_kb = [](const char* key) -> long {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string_view(key).size());
    }
    return -1;
  };
  { std::ofstream("/proc/self/clear_refs") << "5"; }
  const long base_kb = status_kb("VmRSS:");
  std::vector<double> times;
  times.reserve(static_cast<std::size_t>(std::max(runs, 0)));
  for (int i = 0; i < runs; ++i) {
    diagnostic::DiagnosticsCollector collector(front);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> chunk = emitter::emit(*script, collector);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    bytes = chunk.size();
    diagnostics = collector.size() - front.size();
    if (i == 0) {
      for (std::uint8_t b : chunk) mix(b);
      // The emitter's own entries, after the front end's.
      for (std::size_t k = front.size(); k < collector.size(); ++k) {
        const diagnostic::SourceDiagnostic& d = collector[k];
        mix(d.range.start);
        mix(d.range.end);
        mix(static_cast<std::uint64_t>(d.error));
      }
    }
  }
  const long peak_kb = status_kb("VmHWM:");
  std::printf("%zu bytes of text, %zu bytes of chunk, %zu diagnostics, digest %016llx, peak +%ld KiB\n", text.size(),
              bytes, diagnostics, static_cast<unsigned long long>(digest), peak_kb - base_kb);
  if (!times.empty()) {
    std::sort(times.begin(), times.end());
    std::printf("emit: best %.3f ms, median %.3f ms over %zu runs\n", times.front(), times[times.size() / 2],
                times.size());
  }
  return 0;
}

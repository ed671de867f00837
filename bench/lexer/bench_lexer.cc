// Lexer throughput on ~1 MB generated scripts and templates.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/lexer/lexer.h"

namespace {

using namespace vaxo_core;

std::string read_file(const char* path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void run(benchmark::State& state, const char* path, bool template_mode) {
  const std::string text = read_file(path);
  if (text.empty()) {
    state.SkipWithError("benchmark input missing");
    return;
  }
  config::Config config;
  std::size_t tokens = 0;
  for (auto _ : state) {
    auto in = lexer::to_input(text, config);
    auto list = template_mode ? lexer::lex_string(in) : lexer::lex(in);
    if (!list) {
      state.SkipWithError("lexer failed");
      return;
    }
    tokens = list->size();
    benchmark::DoNotOptimize(list->data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["tokens"] = static_cast<double>(tokens);
}

void BM_LexScript(benchmark::State& state) { run(state, BENCH_SCRIPT_INPUT, false); }
void BM_LexTemplate(benchmark::State& state) { run(state, BENCH_TEMPLATE_INPUT, true); }

BENCHMARK(BM_LexScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexTemplate)->Unit(benchmark::kMillisecond);

}  // namespace

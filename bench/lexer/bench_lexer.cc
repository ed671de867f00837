// Lexer throughput on ~1 MB generated scripts (one well-formed) and
// templates, and the heap a token list holds once lexed (the list's capacity
// and the payload chunks).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <thread>

#include "bench/support/heap_count.h"
#include "bench/support/input.h"
#include "core/lexer/lexer.h"

namespace {

using namespace vaxo_core;

void run(benchmark::State& state, const char* path, bool template_mode) {
  const std::string text = bench::read_input(state, path);
  if (text.empty()) return;
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

  // On a thread of its own, whose first payload chunk is counted too.
  std::thread([&] {
    heap_count::start();
    auto in = lexer::to_input(text, config);
    auto list = template_mode ? lexer::lex_string(in) : lexer::lex(in);
    heap_count::stop();
    const std::int64_t live = heap_count::live;
    benchmark::DoNotOptimize(list->data());
    state.counters["live_bytes_per_text_byte"] = static_cast<double>(live) / static_cast<double>(text.size());
  }).join();
}

void BM_LexGrammar(benchmark::State& state) { run(state, BENCH_GRAMMAR_INPUT, false); }
void BM_LexScript(benchmark::State& state) { run(state, BENCH_SCRIPT_INPUT, false); }
void BM_LexTemplate(benchmark::State& state) { run(state, BENCH_TEMPLATE_INPUT, true); }

BENCHMARK(BM_LexGrammar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexTemplate)->Unit(benchmark::kMillisecond);

}  // namespace

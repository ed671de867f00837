// Lexer throughput on ~1 MB generated scripts (one well-formed) and
// templates, and the heap a token list holds once lexed (the list's capacity
// and the payload chunks).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <thread>

#include "core/lexer/lexer.h"

namespace {

// Heap accounting, on only while the counter is measured (never inside the
// timed loop): bytes live since counting began, as malloc reports them.
bool g_counting = false;
std::int64_t g_live = 0;

}  // namespace

void* operator new(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  if (g_counting) [[unlikely]]
    g_live += static_cast<std::int64_t>(malloc_usable_size(p));
  return p;
}
void operator delete(void* p) noexcept {
  if (g_counting && p != nullptr) [[unlikely]]
    g_live -= static_cast<std::int64_t>(malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

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

  // On a thread of its own, whose first payload chunk is counted too.
  std::thread([&] {
    g_live = 0;
    g_counting = true;
    auto in = lexer::to_input(text, config);
    auto list = template_mode ? lexer::lex_string(in) : lexer::lex(in);
    const std::int64_t live = g_live;
    g_counting = false;
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

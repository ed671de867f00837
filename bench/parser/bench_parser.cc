// Parser throughput on ~1 MB generated scripts, beside lexing alone; linear
// work on nested brackets (closed slices and unclosed indexes, depth 5 to
// 1000); and the peak memory a parse takes beyond the text and its tokens.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "core/lexer/lexer.h"
#include "core/parser/parser.h"

namespace {

// Heap accounting for the memory counters: bytes live now and the peak.
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

}  // namespace

void* operator new(std::size_t n) {
  std::size_t* p = static_cast<std::size_t*>(std::malloc(n + sizeof(std::max_align_t)));
  if (p == nullptr) throw std::bad_alloc();
  *p = n;
  std::size_t live = g_live.fetch_add(n) + n;
  std::size_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return reinterpret_cast<char*>(p) + sizeof(std::max_align_t);
}
void operator delete(void* q) noexcept {
  if (q == nullptr) return;
  auto* p = reinterpret_cast<std::size_t*>(static_cast<char*>(q) - sizeof(std::max_align_t));
  g_live.fetch_sub(*p);
  std::free(p);
}
void operator delete(void* q, std::size_t) noexcept { operator delete(q); }

namespace {

using namespace vaxo_core;

std::string read_file(const char* path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::vector<lexer::Token> lex(const std::string& text) {
  config::Config config;
  auto in = lexer::to_input(text, config);
  auto tokens = lexer::lex(in);
  return tokens ? std::move(*tokens) : std::vector<lexer::Token>{};
}

void lex_only(benchmark::State& state, const char* path) {
  const std::string text = read_file(path);
  if (text.empty()) return state.SkipWithError("benchmark input missing");
  for (auto _ : state) {
    auto tokens = lex(text);
    benchmark::DoNotOptimize(tokens.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void lex_and_parse(benchmark::State& state, const char* path) {
  const std::string text = read_file(path);
  if (text.empty()) return state.SkipWithError("benchmark input missing");
  for (auto _ : state) {
    auto tokens = lex(text);
    auto script = parser::parse(tokens);
    if (!script) return state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&*script);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));

  // Peak heap of one parse beyond the text and its token list, per text byte.
  auto tokens = lex(text);
  std::size_t base = g_live.load();
  g_peak.store(base);
  {
    auto script = parser::parse(tokens);
    benchmark::DoNotOptimize(&*script);
  }
  state.counters["parse_peak_bytes_per_text_byte"] =
      static_cast<double>(g_peak.load() - base) / static_cast<double>(text.size());
  state.counters["tokens"] = static_cast<double>(tokens.size());
}

void BM_LexGrammar(benchmark::State& state) { lex_only(state, BENCH_GRAMMAR_INPUT); }
void BM_LexParseGrammar(benchmark::State& state) { lex_and_parse(state, BENCH_GRAMMAR_INPUT); }
void BM_LexScript(benchmark::State& state) { lex_only(state, BENCH_SCRIPT_INPUT); }
void BM_LexParseScript(benchmark::State& state) { lex_and_parse(state, BENCH_SCRIPT_INPUT); }

BENCHMARK(BM_LexGrammar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexParseGrammar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexParseScript)->Unit(benchmark::kMillisecond);

// `a[a[a[a..]..]..]`: every bracket holds a slice whose bound is the next
// bracket. Reading each bracket's content once keeps this linear.
std::string nested_slices(int depth) {
  std::string text = "a";
  for (int i = 0; i < depth; ++i) text += "[a";
  for (int i = 0; i < depth; ++i) text += "..]";
  return text;
}

// `a[a[a[...`: no bracket ever closes, so no suffix is taken at any level.
std::string unclosed_indexes(int depth) {
  std::string text = "a";
  for (int i = 0; i < depth; ++i) text += "[a";
  return text;
}

void parse_text(benchmark::State& state, const std::string& text) {
  auto tokens = lex(text);
  for (auto _ : state) {
    auto script = parser::parse(tokens);
    benchmark::DoNotOptimize(&*script);
  }
  state.counters["tokens"] = static_cast<double>(tokens.size());
  state.counters["ns_per_token"] = benchmark::Counter(static_cast<double>(tokens.size()),
                                                      benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}

void BM_NestedSlices(benchmark::State& state) { parse_text(state, nested_slices(static_cast<int>(state.range(0)))); }
void BM_UnclosedIndexes(benchmark::State& state) {
  parse_text(state, unclosed_indexes(static_cast<int>(state.range(0))));
}

BENCHMARK(BM_NestedSlices)->Arg(5)->Arg(25)->Arg(100)->Arg(1000);
BENCHMARK(BM_UnclosedIndexes)->Arg(5)->Arg(25)->Arg(100)->Arg(1000);

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Faulty input shaped to make enclosing rules try the same stretch again:
// each should cost the same per token at every depth.
void BM_UnfinishedConditionals(benchmark::State& state) {
  parse_text(state, repeat("a ? ", static_cast<int>(state.range(0))) + "b;");
}
void BM_FailingIfConditions(benchmark::State& state) {
  int n = static_cast<int>(state.range(0));
  parse_text(state, repeat("if ", n) + "x {} else {\"a\": 1}" + repeat(" {}", n));
}
void BM_UnclosedCalls(benchmark::State& state) { parse_text(state, repeat("f(", static_cast<int>(state.range(0)))); }
void BM_DanglingOperators(benchmark::State& state) {
  int n = static_cast<int>(state.range(0));
  parse_text(state, repeat("a + (", n) + "b" + repeat(") + ;", n));
}

BENCHMARK(BM_UnfinishedConditionals)->Arg(25)->Arg(100)->Arg(1000);
BENCHMARK(BM_FailingIfConditions)->Arg(25)->Arg(100)->Arg(1000);
BENCHMARK(BM_UnclosedCalls)->Arg(25)->Arg(100)->Arg(1000);
BENCHMARK(BM_DanglingOperators)->Arg(25)->Arg(100)->Arg(1000);

}  // namespace

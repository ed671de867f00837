// Parser throughput on ~1 MB generated scripts, beside lexing alone; linear
// work on nested brackets (closed slices and unclosed indexes, depth 5 to
// 1000); and the peak memory of a parse beyond the text and its tokens, and of
// lexing and parsing together beyond the text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <thread>

#include "bench/support/heap_count.h"
#include "bench/support/input.h"
#include "core/lexer/lexer.h"
#include "core/parser/parser.h"
#include "core/parser/tree_release.h"

namespace {

using namespace vaxo_core;

std::vector<lexer::Token> lex(const std::string& text) {
  config::Config config;
  auto in = lexer::to_input(text, config);
  auto tokens = lexer::lex(in);
  return tokens ? std::move(*tokens) : std::vector<lexer::Token>{};
}

void lex_only(benchmark::State& state, const char* path) {
  const std::string text = bench::read_input(state, path);
  if (text.empty()) return;
  for (auto _ : state) {
    auto tokens = lex(text);
    benchmark::DoNotOptimize(tokens.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void lex_and_parse(benchmark::State& state, const char* path) {
  const std::string text = bench::read_input(state, path);
  if (text.empty()) return;
  for (auto _ : state) {
    auto tokens = lex(text);
    // The tree goes as the compile pipeline lets it go: with its arena.
    parser::NodeArena::Scope arena;
    auto script = parser::parse(tokens);
    if (!script) return state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&*script);
    parser::release_tree(*script, arena);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));

  // Peak heap beyond the text: of one parse beyond its token list, and of
  // lexing and parsing together (the token list included).
  const auto per_text_byte = [&](std::int64_t bytes) {
    return static_cast<double>(bytes) / static_cast<double>(text.size());
  };
  auto tokens = lex(text);
  // Each on a thread of its own: a thread keeps the chunks of its finished
  // trees for the next one, and chunks already taken would not be counted.
  std::thread([&] {
    heap_count::start();
    {
      auto script = parser::parse(tokens);
      benchmark::DoNotOptimize(&*script);
    }
    state.counters["parse_peak_bytes_per_text_byte"] = per_text_byte(heap_count::stop());
  }).join();
  std::thread([&] {
    heap_count::start();
    {
      auto lexed = lex(text);
      auto script = parser::parse(lexed);
      benchmark::DoNotOptimize(&*script);
    }
    state.counters["lex_parse_peak_bytes_per_text_byte"] = per_text_byte(heap_count::stop());
  }).join();
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

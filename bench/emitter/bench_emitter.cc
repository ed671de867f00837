// Emitter throughput on ~1 MB generated scripts (front end run once, outside
// the timing), and the cost of interning constants as the pool grows.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/support/input.h"
#include "core/compile/recover_token.h"
#include "core/emitter/chunk.h"
#include "core/emitter/emitter.h"
#include "core/emitter/concat.h"
#include "core/lexer/lexer.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"

namespace {

using namespace vaxo_core;

// Emission of one generated file, its front end run once outside the timing.
void emit_file(benchmark::State& state, const char* path) {
  const std::string text = bench::read_input(state, path);
  if (text.empty()) return;
  config::Config config;
  diagnostic::DiagnosticsCollector front(config, text);
  auto in = lexer::to_input(text, config);
  auto lexed = lexer::lex(in);
  if (!lexed) {
    state.SkipWithError("lexer failed");
    return;
  }
  std::vector<lexer::Token> tokens;
  tokens.reserve(lexed->size());
  for (lexer::Token& t : *lexed) tokens.push_back(*compile::recover_token(std::move(t), front));
  auto script = parser::parse(tokens);
  if (!script) {
    state.SkipWithError("parser failed");
    return;
  }
  parser::collect_diagnostics(*script, front);
  std::size_t bytes = 0;
  for (auto _ : state) {
    diagnostic::DiagnosticsCollector collector(config, text);
    std::vector<std::uint8_t> chunk = emitter::emit(*script, collector);
    bytes = chunk.size();
    benchmark::DoNotOptimize(chunk.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["chunk_bytes"] = static_cast<double>(bytes);
}

// Recovery-heavy token soup.
void BM_EmitScript(benchmark::State& state) { emit_file(state, BENCH_SCRIPT_INPUT); }
// Well-formed code with every statement and block form.
void BM_EmitGrammar(benchmark::State& state) { emit_file(state, BENCH_GRAMMAR_INPUT); }

// Half the constants are new, half repeat an earlier one: the cost per
// constant must stay flat as the pool grows.
void BM_InternConstants(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<std::string> names;
  names.reserve(n);
  for (std::size_t i = 0; i < n; ++i) names.push_back(emitter::concat({"name_", std::to_string(i)}));
  for (auto _ : state) {
    emitter::Chunk chunk;
    for (std::size_t i = 0; i < n; ++i) {
      benchmark::DoNotOptimize(chunk.add_constant(emitter::Constant::string(names[i])));
      benchmark::DoNotOptimize(chunk.add_constant(emitter::Constant::number(static_cast<double>(i / 2))));
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n * 2));
  state.SetComplexityN(static_cast<std::int64_t>(n));
}

BENCHMARK(BM_EmitScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmitGrammar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InternConstants)->RangeMultiplier(10)->Range(1000, 1000000)->Complexity(benchmark::oN);

}  // namespace

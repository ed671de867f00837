// Where the compile pipeline's time goes on ~1 MB generated inputs.
//
// BM_Stages runs the stages one by one as Compiler::compile does and reports
// each one's milliseconds per iteration as a counter (releases of the tree and
// the token list included), so a stage's gain shows up next to the others.
// BM_Compile times the entry point as the module calls it; BM_Tiny the fixed
// cost of one call on a tiny script.
#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/support/input.h"
#include "core/compile/compiler.h"
#include "core/compile/recover_token.h"
#include "core/emitter/emitter.h"
#include "core/lexer/lexer.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"
#include "core/parser/tree_release.h"

namespace {

using namespace vaxo_core;
using Clock = std::chrono::steady_clock;

struct Input {
  const char* path;
  config::InputMode mode;
};

const Input kGrammar{BENCH_GRAMMAR_INPUT, config::InputMode::Script};
const Input kScript{BENCH_SCRIPT_INPUT, config::InputMode::Script};
const Input kTemplate{BENCH_TEMPLATE_INPUT, config::InputMode::Template};
// A realistic script: it compiles to a chunk without diagnostics.
const Input kProgram{BENCH_PROGRAM_INPUT, config::InputMode::Script};

// Accumulates one stage's time over the iterations.
class Stage {
 public:
  explicit Stage(const char* name) : name_(name) {}
  template <typename F>
  auto run(F&& f) {
    auto start = Clock::now();
    struct Stop {
      Stage* s;
      Clock::time_point start;
      ~Stop() { s->total_ += Clock::now() - start; }
    } stop{this, start};
    return f();
  }
  void report(benchmark::State& state) const {
    double ms = std::chrono::duration<double, std::milli>(total_).count();
    state.counters[name_] = benchmark::Counter(ms, benchmark::Counter::kAvgIterations);
  }

 private:
  const char* name_;
  Clock::duration total_{};
};

void BM_Stages(benchmark::State& state, Input input) {
  const std::string text = bench::read_input(state, input.path);
  if (text.empty()) return;
  config::Config config;
  config.input_mode = input.mode;
  Stage lex("1_lex_ms"), recover("2_recover_ms"), parse("3_parse_ms"), walk("4_walk_ms"), emit("5_emit_ms"),
      free_tree("6_free_tree_ms"), free_tokens("7_free_tokens_ms"), encode("8_encode_ms");
  std::size_t words = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    diagnostic::DiagnosticsCollector collector(config, text);
    auto tokens = lex.run([&] {
      auto in = lexer::to_input(text, config);
      return input.mode == config::InputMode::Script ? lexer::lex(in) : lexer::lex_string(in);
    });
    if (!tokens) {
      state.SkipWithError("lexer failed");
      return;
    }
    recover.run([&] {
      compile::recover_tokens(*tokens, collector);
      return 0;
    });
    // As in the pipeline: parse, walk and emission in one arena, released at once.
    std::optional<parser::NodeArena::Scope> arena(std::in_place);
    auto script = parse.run([&] { return parser::parse(*tokens); });
    if (!script) {
      state.SkipWithError("parser failed");
      return;
    }
    walk.run([&] {
      parser::collect_diagnostics(*script, collector);
      return 0;
    });
    auto chunk = emit.run([&] { return emitter::emit(*script, collector); });
    benchmark::DoNotOptimize(chunk.data());
    free_tree.run([&] {
      parser::release_tree(*script, *arena);
      script.reset();
      arena.reset();
      return 0;
    });
    free_tokens.run([&] {
      tokens.reset();
      return 0;
    });
    auto encoded = encode.run([&] { return collector.encode(); });
    words = encoded.size();
    benchmark::DoNotOptimize(encoded.data());
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  for (const Stage* s : {&lex, &recover, &parse, &walk, &emit, &free_tree, &free_tokens, &encode}) s->report(state);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["words"] = static_cast<double>(words);
}

void BM_Compile(benchmark::State& state, Input input) {
  const std::string text = bench::read_input(state, input.path);
  if (text.empty()) return;
  config::Config config;
  config.input_mode = input.mode;
  for (auto _ : state) {
    auto result = compile::Compiler::compile(text, config);
    benchmark::DoNotOptimize(result.diagnostics.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_Tiny(benchmark::State& state) {
  const std::string text = "let x = 1 + 2; x";
  config::Config config;
  for (auto _ : state) {
    auto result = compile::Compiler::compile(text, config);
    benchmark::DoNotOptimize(result.diagnostics.data());
  }
}

BENCHMARK_CAPTURE(BM_Stages, grammar, kGrammar)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stages, script, kScript)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stages, template, kTemplate)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stages, program, kProgram)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Compile, grammar, kGrammar)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Compile, script, kScript)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Compile, template, kTemplate)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Compile, program, kProgram)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tiny);

}  // namespace

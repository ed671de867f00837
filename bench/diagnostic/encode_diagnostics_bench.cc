// Encoding cost over a ~10 MB text: the table is built once per call, then
// each diagnostic costs two bisections and at most ~1 KiB of counting.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/diagnostic/diagnostics_collector.h"
#include "core/diagnostic/encode_diagnostics.h"

namespace vaxo_core::diagnostic {
namespace {

// Mostly short lines with some multi-byte characters, every 500th line 3 KB long.
const std::string& big_text() {
  static const std::string text = [] {
    std::string t;
    t.reserve(10'500'000);
    std::mt19937 rng(42);
    for (std::size_t line = 0; t.size() < 10'000'000; ++line) {
      std::size_t length = line % 500 == 0 ? 3000 : 20 + rng() % 80;
      for (std::size_t i = 0; i < length; ++i) {
        switch (rng() % 40) {
          case 0: t += "\xC3\xA9"; break;
          case 1: t += "\xE2\x82\xAC"; break;
          case 2: t += "\xF0\x9F\x98\x80"; break;
          default: t += static_cast<char>('a' + rng() % 26);
        }
      }
      t += line % 7 == 0 ? "\r\n" : "\n";
    }
    return t;
  }();
  return text;
}

std::vector<SourceDiagnostic> diagnostics_over(const std::string& text, std::size_t count, bool in_order) {
  std::mt19937_64 rng(7);
  std::vector<SourceDiagnostic> out;
  out.reserve(count);
  auto boundary = [&](std::size_t p) {
    while (p > 0 && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) --p;
    return p;
  };
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t start = boundary(rng() % text.size());
    std::size_t end = boundary(std::min(text.size() - 1, start + rng() % 40));
    if (end < start) end = start;
    out.push_back(SourceDiagnostic{{start, end}, DiagnosticCode::UnknownToken});
  }
  // Stages report roughly in text order; random order defeats the search hint.
  if (in_order) {
    std::sort(out.begin(), out.end(),
              [](const SourceDiagnostic& a, const SourceDiagnostic& b) { return a.range.start < b.range.start; });
  }
  return out;
}

void BM_Encode(benchmark::State& state, config::DiagnosticPositionEncoding encoding, bool in_order) {
  const std::string& text = big_text();
  std::vector<SourceDiagnostic> diagnostics =
      diagnostics_over(text, static_cast<std::size_t>(state.range(0)), in_order);
  config::Config config;
  config.diagnostic_position_encoding = encoding;
  for (auto _ : state) {
    std::vector<std::uint32_t> words = encode_diagnostics(text, diagnostics, config);
    benchmark::DoNotOptimize(words.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK_CAPTURE(BM_Encode, utf8_in_order, config::DiagnosticPositionEncoding::Utf8, true)
    ->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, utf16_in_order, config::DiagnosticPositionEncoding::Utf16, true)
    ->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, utf8_random, config::DiagnosticPositionEncoding::Utf8, false)
    ->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, utf16_random, config::DiagnosticPositionEncoding::Utf16, false)
    ->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, none, config::DiagnosticPositionEncoding::None, true)
    ->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The fixed part of a line/column encoding: the checkpoint table of the whole text.
void BM_CheckpointTable(benchmark::State& state) {
  const std::string& text = big_text();
  config::Config config;
  config.diagnostic_position_encoding = config::DiagnosticPositionEncoding::Utf16;
  for (auto _ : state) {
    PositionMapping mapping = pos_to_line_col(text, config);
    benchmark::DoNotOptimize(mapping.offsets().data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_CheckpointTable)->Unit(benchmark::kMillisecond);

// Recording through the collector: range check, filter, append.
void BM_CollectorPush(benchmark::State& state) {
  const std::string& text = big_text();
  std::vector<SourceDiagnostic> diagnostics = diagnostics_over(text, static_cast<std::size_t>(state.range(0)), true);
  config::Config config;
  for (auto _ : state) {
    DiagnosticsCollector collector(config, text);
    for (const SourceDiagnostic& d : diagnostics) collector.push(d.error, d.range);
    benchmark::DoNotOptimize(collector.data().data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CollectorPush)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vaxo_core::diagnostic

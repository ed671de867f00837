// Golden files: every tests/data/emitter/{ok,err}/NAME.src is compiled with
// tags and the source map switched on; NAME.expected holds the disassembly
// (each instruction with its source-map range), the constant pool and the
// diagnostics. The harness is tests/support/golden.h.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/diagnostic/diagnostics_collector.h"
#include "tests/emitter/support/disassembler.h"
#include "core/emitter/emitter.h"
#include "tests/emitter/support/front_end.h"
#include "tests/support/golden.h"

namespace vaxo_core::emitter {
namespace {

using diagnostic::SourceDiagnostic;

// The source text under `r`, short and escaped, cut on a character boundary.
std::string excerpt(std::string_view text, ByteRange r) {
  constexpr std::size_t kMax = 24;
  std::string_view t = text.substr(r.start, r.end - r.start);
  bool cut = false;
  if (t.size() > kMax) {
    std::size_t n = kMax;
    while (n > 0 && (static_cast<unsigned char>(t[n]) & 0xC0) == 0x80) --n;
    t = t.substr(0, n);
    cut = true;
  }
  return "\"" + lexer::debug_escape(t) + (cut ? "...\"" : "\"");
}

std::string describe(std::string_view text, const SourceDiagnostic& d) {
  return std::string(diagnostic::name(d.error)) + " " + std::to_string(d.range.start) + ".." +
         std::to_string(d.range.end) + " " + excerpt(text, d.range);
}

golden::Output emit_golden(const golden::Case& c) {
  golden::Output out;
  if (c.mode != config::InputMode::Script) out.fault = "scripts only";
  const std::string& text = c.text;
  config::Config config;
  config.diagnostic_tag = true;
  config.diagnostic_sourcemap = true;
  testing::FrontEnd front(text, config);
  if (!front.lexed()) {
    out.dump = "<lexer failed>\n";
    return out;
  }
  if (front.script() == nullptr) {
    out.dump = "<parser failed>\n";
    return out;
  }
  diagnostic::DiagnosticsCollector& collector = front.collector();
  std::size_t earlier = collector.size();
  std::vector<std::uint8_t> bytes = emit(*front.script(), collector);

  std::vector<ByteRange> mapping;
  std::string diagnostics;
  std::string before;
  for (std::size_t i = 0; i < collector.size(); ++i) {
    const SourceDiagnostic& d = collector[i];
    out.diagnostics.push_back(d);
    if (i < earlier) {
      before += describe(text, d) + "\n";
    } else if (d.error == DiagnosticCode::SourceMap) {
      mapping.push_back(d.range);
    } else {
      diagnostics += describe(text, d) + "\n";
    }
  }

  Listing listing = disassemble_listing(bytes);
  if (count_instructions(bytes) != mapping.size()) out.fault = "not one source-map entry per instruction";
  std::string& r = out.dump;
  r += "== code\n";
  std::size_t width = 0;
  for (const std::string& line : listing.code) width = std::max(width, line.size());
  for (std::size_t i = 0; i < listing.code.size(); ++i) {
    std::string line = listing.code[i];
    if (i < mapping.size()) {
      line += std::string(width - line.size(), ' ') + "  ; " + std::to_string(mapping[i].start) + ".." +
              std::to_string(mapping[i].end) + " " + excerpt(text, mapping[i]);
    }
    r += line + "\n";
  }
  r += "== constants\n";
  for (const std::string& line : listing.constants) r += line + "\n";
  if (!before.empty()) r += "== earlier diagnostics\n" + before;
  r += "== emitter diagnostics\n" + diagnostics;
  return out;
}

TEST(EmitterGolden, EveryCaseMatchesItsExpectedFile) { EXPECT_GE(golden::run("emitter", emit_golden), 27u); }

// Without tags and the source map the emitter takes shortcuts (references
// of variables are not gathered, the source map is skipped): the chunk must
// not change, and the diagnostics must be those of the full run that are
// neither tags nor source map, in the same order.
TEST(EmitterGolden, WithoutTagsTheBytesAndTheOtherDiagnosticsStay) {
  std::vector<golden::Case> all = golden::cases("emitter");
  ASSERT_FALSE(all.empty());
  for (const golden::Case& c : all) {
    SCOPED_TRACE(c.source.string());
    const std::string& text = c.text;
    config::Config full;
    full.diagnostic_tag = true;
    full.diagnostic_sourcemap = true;
    config::Config plain;
    testing::FrontEnd full_front(text, full);
    testing::FrontEnd plain_front(text, plain);
    if (full_front.script() == nullptr || plain_front.script() == nullptr) continue;
    std::vector<std::uint8_t> full_bytes = emit(*full_front.script(), full_front.collector());
    std::vector<std::uint8_t> plain_bytes = emit(*plain_front.script(), plain_front.collector());
    EXPECT_EQ(full_bytes, plain_bytes);
    std::vector<SourceDiagnostic> expected;
    for (const SourceDiagnostic& d : full_front.collector()) {
      if (!diagnostic::is_tag(d.error) && !diagnostic::is_sourcemap(d.error)) expected.push_back(d);
    }
    EXPECT_EQ(plain_front.collector().data(), expected);
  }
}

}  // namespace
}  // namespace vaxo_core::emitter

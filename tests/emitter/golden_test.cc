// Golden files: every tests/data/emitter/{ok,err}/NAME.src is compiled with
// tags and the source map switched on; NAME.expected holds the disassembly
// (each instruction with its source-map range), the constant pool and the
// diagnostics. UPDATE_GOLDEN=1 rewrites the expected files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/diagnostic/diagnostics_collector.h"
#include "core/emitter/disassembler.h"
#include "core/emitter/emitter.h"
#include "tests/emitter/support/front_end.h"

namespace vaxo_core::emitter {
namespace {

namespace fs = std::filesystem;
using diagnostic::SourceDiagnostic;

fs::path data_root() {
  if (const char* env = std::getenv("VAXO_SOURCE_DIR")) return fs::path(env) / "tests" / "data" / "emitter";
  return fs::path(VAXO_SOURCE_DIR) / "tests" / "data" / "emitter";
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

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

struct Outcome {
  std::string rendered;
  std::size_t instructions = 0;
  std::size_t source_map = 0;
  bool has_error = false;
};

Outcome compile_and_render(const std::string& text) {
  config::Config config;
  config.diagnostic_tag = true;
  config.diagnostic_sourcemap = true;
  testing::FrontEnd front(text, config);
  Outcome out;
  if (!front.lexed()) {
    out.rendered = "<lexer failed>\n";
    return out;
  }
  if (front.script() == nullptr) {
    out.rendered = "<parser failed>\n";
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
    out.has_error = out.has_error || diagnostic::is_error(d.error);
    if (i < earlier) {
      before += describe(text, d) + "\n";
    } else if (d.error == DiagnosticCode::SourceMap) {
      mapping.push_back(d.range);
    } else {
      diagnostics += describe(text, d) + "\n";
    }
  }

  Listing listing = disassemble_listing(bytes);
  out.instructions = count_instructions(bytes);
  out.source_map = mapping.size();
  std::string& r = out.rendered;
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

struct Case {
  fs::path source;
  bool expect_error;
};

std::vector<Case> cases() {
  std::vector<Case> out;
  for (const char* kind : {"ok", "err"}) {
    fs::path dir = data_root() / kind;
    if (!fs::is_directory(dir)) continue;
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".src") sources.push_back(entry.path());
    }
    std::sort(sources.begin(), sources.end());
    for (const fs::path& p : sources) out.push_back({p, std::string(kind) == "err"});
  }
  return out;
}

bool updating() {
  const char* update = std::getenv("UPDATE_GOLDEN");
  return update != nullptr && *update != '\0' && std::string(update) != "0";
}

TEST(EmitterGolden, EveryCaseMatchesItsExpectedFile) {
  std::vector<Case> all = cases();
  ASSERT_FALSE(all.empty()) << "no golden cases under " << data_root();
  for (const Case& c : all) {
    SCOPED_TRACE(c.source.string());
    Outcome out = compile_and_render(read_file(c.source));
    EXPECT_EQ(out.instructions, out.source_map) << "one source-map entry per instruction";
    EXPECT_EQ(out.has_error, c.expect_error) << (c.expect_error ? "err/ needs an error" : "ok/ must have no error");
    fs::path expected = c.source;
    expected.replace_extension(".expected");
    if (updating()) {
      std::ofstream(expected, std::ios::binary) << out.rendered;
      continue;
    }
    ASSERT_TRUE(fs::exists(expected)) << "missing " << expected << " (run with UPDATE_GOLDEN=1)";
    EXPECT_EQ(read_file(expected), out.rendered);
  }
}

// Without tags and the source map the emitter takes shortcuts (references
// of variables are not gathered, the source map is skipped): the chunk must
// not change, and the diagnostics must be those of the full run that are
// neither tags nor source map, in the same order.
TEST(EmitterGolden, WithoutTagsTheBytesAndTheOtherDiagnosticsStay) {
  std::vector<Case> all = cases();
  ASSERT_FALSE(all.empty());
  for (const Case& c : all) {
    SCOPED_TRACE(c.source.string());
    std::string text = read_file(c.source);
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

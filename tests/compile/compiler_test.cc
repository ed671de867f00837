#include "core/compile/compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/diagnostic/internal_error.h"

namespace vaxo_core::compile {
namespace {

using diagnostic::DiagnosticCode;

config::Config offsets(bool tags = false) {
  config::Config c;
  c.diagnostic_position_encoding = config::DiagnosticPositionEncoding::None;
  c.diagnostic_tag = tags;
  return c;
}

// The words as (start, end, code) triples.
std::vector<std::vector<std::uint32_t>> triples(const CompileResult& r) {
  std::vector<std::vector<std::uint32_t>> out;
  for (std::size_t i = 0; i + 2 < r.diagnostics.size(); i += 3) {
    out.push_back({r.diagnostics[i], r.diagnostics[i + 1], r.diagnostics[i + 2]});
  }
  return out;
}

constexpr std::uint32_t c(DiagnosticCode code) { return static_cast<std::uint32_t>(code); }

TEST(Compiler, EmptyScriptCompilesToTheMinimalChunk) {
  auto r = Compiler::compile("", config::Config{});
  ASSERT_TRUE(r.chunk.has_value());
  std::vector<std::uint8_t> want{0x12, 0, 0, 0, 0x0A, 0, 0, 0, 0x5D, 0, 0, 1, 0x28, 1, 0, 0x60, 1, 0x5F, 0, 0, 0, 0};
  EXPECT_EQ(*r.chunk, want);
  EXPECT_TRUE(r.diagnostics.empty());
}

TEST(Compiler, FaultyEscapeErrorLandsBeforeTheStringTag) {
  auto tagged = Compiler::compile("'a\\q'", offsets(true));
  EXPECT_FALSE(tagged.chunk.has_value());
  auto t = triples(tagged);
  ASSERT_GE(t.size(), 2u);
  EXPECT_EQ(t[0], (std::vector<std::uint32_t>{2, 4, c(DiagnosticCode::InvalidEscapeSequence)}));
  EXPECT_EQ(t[1], (std::vector<std::uint32_t>{0, 5, c(DiagnosticCode::String)}));

  auto plain = Compiler::compile("'a\\q'", offsets(false));
  EXPECT_FALSE(plain.chunk.has_value());
  EXPECT_EQ(triples(plain), (std::vector<std::vector<std::uint32_t>>{
                                {2, 4, c(DiagnosticCode::InvalidEscapeSequence)}}));
}

TEST(Compiler, InterpolationTagPrecedesTheErrorsInsideIt) {
  auto r = Compiler::compile("'${1_}'", offsets(true));
  auto t = triples(r);
  ASSERT_GE(t.size(), 2u);
  EXPECT_EQ(t[0], (std::vector<std::uint32_t>{0, 7, c(DiagnosticCode::Interpolation)}));
  EXPECT_EQ(t[1][2], c(DiagnosticCode::InvalidNumberLiteralUnderscore));
}

TEST(Compiler, TemplateTags) {
  config::Config tmpl = offsets(true);
  tmpl.input_mode = config::InputMode::Template;
  auto plain = Compiler::compile("just text", tmpl);
  ASSERT_TRUE(plain.chunk.has_value());
  EXPECT_EQ(triples(plain)[0], (std::vector<std::uint32_t>{0, 9, c(DiagnosticCode::String)}));

  auto mixed = Compiler::compile("a ${'b'} c", tmpl);
  auto t = triples(mixed);
  ASSERT_GE(t.size(), 2u);
  EXPECT_EQ(t[0], (std::vector<std::uint32_t>{0, 10, c(DiagnosticCode::Interpolation)}));
  EXPECT_EQ(t[1], (std::vector<std::uint32_t>{4, 7, c(DiagnosticCode::String)}));
}

TEST(Compiler, RepairedErrorsWithholdTheChunkUnlessErrorsAreSwitchedOff) {
  auto r = Compiler::compile("let x = 1", offsets());
  EXPECT_FALSE(r.chunk.has_value());
  auto t = triples(r);
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t[0], (std::vector<std::uint32_t>{9, 9, c(DiagnosticCode::MissingSemicolon)}));

  config::Config no_errors = offsets();
  no_errors.diagnostic_error = false;
  auto lenient = Compiler::compile("let x = 1", no_errors);
  EXPECT_TRUE(lenient.chunk.has_value());
  for (const auto& triple : triples(lenient)) EXPECT_FALSE(diagnostic::is_error(DiagnosticCode(triple[2])));
}

TEST(Compiler, WarningsAndHintsKeepTheChunk) {
  auto r = Compiler::compile("let x = 1;", offsets());
  ASSERT_TRUE(r.chunk.has_value());
  EXPECT_EQ(triples(r), (std::vector<std::vector<std::uint32_t>>{{4, 5, c(DiagnosticCode::UnusedLocalVariable)}}));
}

TEST(Compiler, NestingPastTheBoundsEndsInTheStageDiagnostic) {
  auto deep_parse = Compiler::compile(std::string(100000, '('), offsets());
  EXPECT_FALSE(deep_parse.chunk.has_value());
  ASSERT_EQ(deep_parse.diagnostics.size(), 3u);
  EXPECT_EQ(deep_parse.diagnostics[2], c(DiagnosticCode::ParserError));

  std::string deep_lex;
  for (int i = 0; i < 100000; ++i) deep_lex += "'${";
  auto lexed = Compiler::compile(deep_lex, offsets());
  EXPECT_FALSE(lexed.chunk.has_value());
  ASSERT_EQ(lexed.diagnostics.size(), 3u);
  EXPECT_EQ(lexed.diagnostics[2], c(DiagnosticCode::LexerError));
  EXPECT_LE(lexed.diagnostics[0], lexed.diagnostics[1]);
  EXPECT_LE(lexed.diagnostics[1], deep_lex.size());

  config::Config silent = offsets();
  silent.diagnostic_error = false;
  auto quiet = Compiler::compile(std::string(100000, '('), silent);
  EXPECT_FALSE(quiet.chunk.has_value());
  EXPECT_TRUE(quiet.diagnostics.empty());
}

// A result handed back serves the thread's next compile, whatever it held
// and whatever its size: each compile after one recycled gives what it gives
// on a thread that never recycled anything.
TEST(Compiler, RecycledResultsLeaveTheNextResultsUnchanged) {
  auto nested = [](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      std::string n = std::to_string(i);
      text += "fn f" + n + "(a) { for j in 0..<3 { let s = \"t" + n + "\"; let l = loop { break; }; }; " + n +
              ".5 }\n";
    }
    return text + "f0(1);";
  };
  // Empty, tiny, some headers and constants, a buffer past what a thread
  // keeps, and one without a chunk.
  const std::vector<std::string> sources = {"", "let x = 1 + 2; x", nested(40), nested(2000), "let = ;"};
  std::vector<CompileResult> fresh(sources.size());
  std::thread([&] {
    for (std::size_t i = 0; i < sources.size(); ++i) fresh[i] = Compiler::compile(sources[i], config::Config{});
  }).join();
  ASSERT_TRUE(fresh[3].chunk.has_value());
  EXPECT_FALSE(fresh[4].chunk.has_value());
  // Each handed back before the next: smaller after larger and the reverse,
  // after none, and after a buffer too large to keep.
  const std::size_t order[] = {1, 0, 2, 1, 3, 1, 4, 2, 3, 3, 0, 1, 1};
  for (std::size_t i : order) {
    SCOPED_TRACE(i);
    CompileResult r = Compiler::compile(sources[i], config::Config{});
    EXPECT_EQ(r.chunk, fresh[i].chunk);
    EXPECT_EQ(r.diagnostics, fresh[i].diagnostics);
    Compiler::recycle(std::move(r));
  }
}

TEST(Compiler, AnEmptyTokenListIsAnInternalError) {
  config::Config config;
  Compiler compiler("", config);
  EXPECT_THROW(compiler.parse({}), InternalError);
}

}  // namespace
}  // namespace vaxo_core::compile

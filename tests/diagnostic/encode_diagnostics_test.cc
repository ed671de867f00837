#include "core/diagnostic/encode_diagnostics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/diagnostic/internal_error.h"
#include "tests/support/internal_error.h"

namespace vaxo_core::diagnostic {
namespace {

using test_support::internal_error_of;

using D = DiagnosticCode;
using config::DiagnosticPositionEncoding;
using Words = std::vector<std::uint32_t>;

constexpr DiagnosticPositionEncoding kNone = DiagnosticPositionEncoding::None;
constexpr DiagnosticPositionEncoding kUtf8 = DiagnosticPositionEncoding::Utf8;
constexpr DiagnosticPositionEncoding kUtf16 = DiagnosticPositionEncoding::Utf16;
constexpr DiagnosticPositionEncoding kUtf32 = DiagnosticPositionEncoding::Utf32;

config::Config with(DiagnosticPositionEncoding e) {
  config::Config c;
  c.diagnostic_position_encoding = e;
  return c;
}

SourceDiagnostic diag(std::size_t start, std::size_t end, D code = D::UnknownToken) {
  return SourceDiagnostic{{start, end}, code};
}

// "é", U+1F600, "x", line feed, "y": 2 + 4 + 1 + 1 + 1 bytes.
const std::string kMixed = "\xC3\xA9\xF0\x9F\x98\x80x\ny";

struct EncodeCase {
  const char* label;
  std::string text;
  std::vector<SourceDiagnostic> diagnostics;
  DiagnosticPositionEncoding encoding;
  Words words;
};

TEST(EncodeDiagnosticsTest, WorkedExamples) {
  const std::vector<SourceDiagnostic> three{diag(0, 2, D::UnknownToken), diag(3, 5, D::UnknownExpression),
                                            diag(2, 3, D::UnexpectedToken)};
  const std::vector<SourceDiagnostic> mixed{diag(0, 6), diag(6, 7), diag(8, 9)};
  const EncodeCase cases[] = {
      {"two lines", "ab\ncd", three, kUtf8, {1, 1, 1, 3, 1007, 2, 1, 2, 3, 1041, 1, 3, 2, 1, 1008}},
      {"two lines, offsets", "ab\ncd", three, kNone, {0, 2, 1007, 3, 5, 1041, 2, 3, 1008}},
      {"after final line feed", "ab\n", {diag(3, 3)}, kUtf8, {1, 4, 1, 4, 1007}},
      {"crlf", "ab\r\ncd", {diag(3, 4), diag(4, 6)}, kUtf8, {1, 4, 2, 1, 1007, 2, 1, 2, 3, 1007}},
      {"lone cr", "ab\rcd", {diag(4, 5)}, kUtf8, {1, 5, 1, 6, 1007}},
      {"two line feeds", "\n\n", {diag(1, 2)}, kUtf8, {2, 1, 2, 2, 1007}},
      {"empty text", "", {diag(0, 0)}, kUtf8, {1, 1, 1, 1, 1007}},
      {"empty text utf16", "", {diag(0, 0)}, kUtf16, {1, 1, 1, 1, 1007}},
      {"mixed utf8", kMixed, mixed, kUtf8, {1, 1, 1, 7, 1007, 1, 7, 1, 8, 1007, 2, 1, 2, 2, 1007}},
      {"mixed utf16", kMixed, mixed, kUtf16, {1, 1, 1, 4, 1007, 1, 4, 1, 5, 1007, 2, 1, 2, 2, 1007}},
      {"mixed utf32", kMixed, mixed, kUtf32, {1, 1, 1, 3, 1007, 1, 3, 1, 4, 1007, 2, 1, 2, 2, 1007}},
      {"3-byte char", "\xE2\x82\xAC\xE2\x82\xAC\n\xE2\x82\xAC", {diag(3, 6), diag(7, 10)}, kUtf16,
       {1, 2, 1, 3, 1007, 2, 1, 2, 2, 1007}},
      {"line feed inside a line, utf32", "\xE2\x82\xAC\n", {diag(3, 4)}, kUtf32, {1, 2, 1, 3, 1007}},
      {"end of text without final line feed", "a\nbc", {diag(4, 4)}, kUtf8, {2, 3, 2, 3, 1007}},
      {"offsets ignore the text", "", {diag(7, 3, D::SourceMap)}, kNone, {7, 3, 12000}},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(encode_diagnostics(c.text, c.diagnostics, with(c.encoding)), c.words);
  }
}

TEST(EncodeDiagnosticsTest, NoDiagnosticsGiveNoWords) {
  for (auto e : {kNone, kUtf8, kUtf16, kUtf32}) {
    EXPECT_TRUE(encode_diagnostics("ab\ncd", {}, with(e)).empty());
    // Nothing is looked at: not even a text that no position could fit.
    EXPECT_TRUE(encode_diagnostics("", {}, with(e)).empty());
  }
  EXPECT_TRUE(encode_diagnostics_none({}).empty());
}

TEST(EncodeDiagnosticsTest, CountingFunctions) {
  const std::string piece = "\xC3\xA9\xF0\x9F\x98\x80";
  EXPECT_EQ(count_utf8_bytes(piece), 6u);
  EXPECT_EQ(count_utf16_units(piece), 3u);
  EXPECT_EQ(count_scalar_values(piece), 2u);
  EXPECT_EQ(count_utf16_units(std::string("a\0b", 3)), 3u);
  EXPECT_EQ(counter_for(kUtf8), &count_utf8_bytes);
  EXPECT_EQ(counter_for(kNone), &count_utf8_bytes);
  EXPECT_EQ(counter_for(kUtf16), &count_utf16_units);
  EXPECT_EQ(counter_for(kUtf32), &count_scalar_values);
}

std::vector<std::size_t> checkpoint_offsets(const std::string& text) {
  std::vector<std::size_t> out;
  for (const Offset& o : line_checkpoints(text, &count_utf8_bytes)) out.push_back(o.offset);
  return out;
}

TEST(EncodeDiagnosticsTest, CheckpointsOfLongLines) {
  using V = std::vector<std::size_t>;
  EXPECT_EQ(checkpoint_offsets(""), V{});
  EXPECT_EQ(checkpoint_offsets("\n"), V{0});
  EXPECT_EQ(checkpoint_offsets("a\n\nb\n"), (V{0, 2, 3}));
  EXPECT_EQ(checkpoint_offsets(std::string(1024, 'a')), V{0});
  EXPECT_EQ(checkpoint_offsets(std::string(1025, 'a')), (V{0, 1024}));
  EXPECT_EQ(checkpoint_offsets(std::string(2048, 'a')), (V{0, 1024}));
  EXPECT_EQ(checkpoint_offsets(std::string(2049, 'a')), (V{0, 1024, 2048}));
  // The line ending does not count towards the line's length.
  EXPECT_EQ(checkpoint_offsets(std::string(1024, 'a') + "\r\nb"), (V{0, 1026}));
  // A two-byte character straddling byte 1024 moves the step back onto its start.
  EXPECT_EQ(checkpoint_offsets(std::string(1023, 'a') + "\xC3\xA9" + std::string(10, 'b')), (V{0, 1023}));
  // Same on a later line: offsets are in the text, steps relative to the line.
  EXPECT_EQ(checkpoint_offsets("x\n" + std::string(1023, 'a') + "\xF0\x9F\x98\x80" + std::string(1030, 'b')),
            (V{0, 2, 2 + 1023, 2 + 1023 + 1024}));

  const std::string line_2500(2500, 'a');
  std::vector<Offset> long_line = line_checkpoints(line_2500, &count_utf8_bytes);
  EXPECT_EQ(long_line, (std::vector<Offset>{{0, 1, 1}, {1024, 1, 1025}, {2048, 1, 2049}}));
  PositionMapping mapping = pos_to_line_col(line_2500, config::Config{});
  EXPECT_EQ(mapping.line_col_of(2100), (LineCol{1, 2101}));
}

// Every position of `text` that starts a character, and its end.
std::vector<std::size_t> char_boundaries(const std::string& text) {
  std::vector<std::size_t> boundaries;
  for (std::size_t p = 0; p <= text.size(); ++p) {
    if (p == text.size() || (static_cast<unsigned char>(text[p]) & 0xC0) != 0x80) boundaries.push_back(p);
  }
  return boundaries;
}

// A seeded sequence of pseudo-random numbers, the same on every run.
class Lcg {
 public:
  explicit Lcg(std::uint64_t seed) : state_(seed) {}
  std::size_t operator()() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::size_t>(state_ >> 33);
  }

 private:
  std::uint64_t state_;
};

// The words of `diagnostics` from one position lookup each.
Words single_lookups(const std::string& text, const std::vector<SourceDiagnostic>& diagnostics,
                     DiagnosticPositionEncoding e) {
  PositionMapping mapping = pos_to_line_col(text, with(e));
  Words words;
  for (const SourceDiagnostic& d : diagnostics) {
    LineCol s = mapping.line_col_of(d.range.start), t = mapping.line_col_of(d.range.end);
    words.insert(words.end(), {s.line, s.col, t.line, t.col, code(d.error)});
  }
  return words;
}

// Line and column the slow way: from the start of the line holding p.
LineCol reference_line_col(const std::string& text, std::size_t p, CodePointCounter counter) {
  std::size_t line = 1, start = 0;
  for (std::size_t i = 0; i < p; ++i) {
    // A line begins after a line feed only where some text follows.
    if (text[i] == '\n' && i + 1 < text.size()) {
      ++line;
      start = i + 1;
    }
  }
  if (p == 0) return {1, 1};
  return {static_cast<std::uint32_t>(line),
          static_cast<std::uint32_t>(1 + counter(std::string_view(text).substr(start, p - start)))};
}

// Columns from the checkpoints must equal counting from the line start, at
// every character boundary, in texts with long lines and characters of every width.
TEST(EncodeDiagnosticsTest, ColumnsMatchCountingFromTheLineStart) {
  std::string long_mixed;
  for (int i = 0; i < 700; ++i) long_mixed += (i % 7 == 0) ? "\xF0\x9F\x98\x80" : (i % 5 == 0) ? "\xE2\x82\xAC" : "ab";
  std::string straddle = std::string(1023, 'a') + "\xC3\xA9" + std::string(1022, 'b') + "\xE2\x82\xAC" + "cc";
  const std::string texts[] = {
      long_mixed + "\r\n" + long_mixed + "\rtail\n\n" + straddle,
      straddle + "\n" + std::string(2049, 'z') + "\n",
      "\xC3\xA9\n\r\n\r\r\n\xF0\x9F\x98\x80" + std::string(1500, 'q'),
  };
  for (const std::string& text : texts) {
    for (auto e : {kUtf8, kUtf16, kUtf32}) {
      PositionMapping mapping = pos_to_line_col(text, with(e));
      for (const Offset& o : mapping.offsets()) {
        ASSERT_LE(o.offset, text.size());
        ASSERT_NE(static_cast<unsigned char>(text[o.offset]) & 0xC0, 0x80);
      }
      const std::vector<std::size_t> boundaries = char_boundaries(text);
      std::vector<LineCol> expected;
      for (std::size_t p : boundaries) {
        expected.push_back(reference_line_col(text, p, counter_for(e)));
        ASSERT_EQ(mapping.line_col_of(p), expected.back()) << "position " << p << " encoding " << static_cast<int>(e);
      }
      // Hinted lookups forwards, backwards and jumping about give the same answers.
      std::size_t hint = 0;
      for (std::size_t i = 0; i < boundaries.size(); ++i) ASSERT_EQ(mapping.line_col_of(boundaries[i], hint), expected[i]);
      for (std::size_t i = boundaries.size(); i-- > 0;) ASSERT_EQ(mapping.line_col_of(boundaries[i], hint), expected[i]);
      for (std::size_t k = 0; k < boundaries.size(); ++k) {
        std::size_t i = (k * 7919) % boundaries.size();
        ASSERT_EQ(mapping.line_col_of(boundaries[i], hint), expected[i]) << boundaries[i];
      }
      hint = 1'000'000;  // out of range: clamped
      ASSERT_EQ(mapping.line_col_of(boundaries[1], hint), expected[1]);
    }
  }
}

// Lookups go through a per-64-byte block index: blocks crowded with line
// starts, blocks inside one long line and the last partial block must all
// give what counting from the line start gives, in any order of lookups.
TEST(EncodeDiagnosticsTest, BlockIndexLookupsMatchCountingFromTheLineStart) {
  std::string accents;
  for (int i = 0; i < 800; ++i) accents += "\xC3\xA9";
  const std::string texts[] = {
      std::string(300, '\n'),
      std::string(130, '\n') + std::string(3000, 'a') + "\n\r\n" + accents + "\n",
      "x",
      std::string(63, 'a') + "\n" + std::string(64, 'b') + "\n\n" + std::string(65, 'c'),
  };
  for (const std::string& text : texts) {
    for (auto e : {kUtf8, kUtf16, kUtf32}) {
      PositionMapping mapping = pos_to_line_col(text, with(e));
      const std::vector<std::size_t> boundaries = char_boundaries(text);
      std::size_t hint = 0;
      for (std::size_t k = 0; k < boundaries.size(); ++k) {
        std::size_t p = boundaries[(k * 7919) % boundaries.size()];
        ASSERT_EQ(mapping.line_col_of(p, hint), reference_line_col(text, p, counter_for(e)))
            << "position " << p << " of " << text.size() << " encoding " << static_cast<int>(e);
        ASSERT_LE(mapping.offsets()[hint].offset, p);
      }
    }
  }
}

// Byte columns come from a table of lines per 128-byte block, other units
// from the checkpoint table: in whatever order the diagnostics arrive, each
// word must be what a lookup of its own gives, ends of blocks and a final
// line feed on a block boundary included.
TEST(EncodeDiagnosticsTest, EncodingInAnyOrderMatchesSingleLookups) {
  std::string long_mixed;
  for (int i = 0; i < 900; ++i) long_mixed += (i % 7 == 0) ? "\xF0\x9F\x98\x80" : (i % 5 == 0) ? "\xE2\x82\xAC" : "ab";
  const std::string texts[] = {
      "ab\r\ncd\n\n\xC3\xA9x\n",
      long_mixed + "\r\n\n" + long_mixed + "\rtail\n\n\n",
      std::string(100, '\n') + "z",
      "\n",
      std::string(127, 'a') + "\n",
      std::string(128, 'a') + "\n" + std::string(126, 'b') + "\n",
  };
  Lcg next(12345);
  for (const std::string& text : texts) {
    const std::vector<std::size_t> boundaries = char_boundaries(text);
    for (bool in_order : {true, false}) {
      std::vector<SourceDiagnostic> diagnostics;
      for (std::size_t i = 0; i < 3 * boundaries.size(); ++i) {
        std::size_t a = in_order ? i / 3 : next() % boundaries.size();
        std::size_t b = std::min(boundaries.size() - 1, a + next() % 5);
        diagnostics.push_back(diag(boundaries[a], boundaries[b], i % 2 == 0 ? D::UnknownToken : D::String));
      }
      for (auto e : {kUtf8, kUtf16, kUtf32}) {
        SCOPED_TRACE(static_cast<int>(e));
        ASSERT_EQ(encode_diagnostics(text, diagnostics, with(e)), single_lookups(text, diagnostics, e));
      }
    }
  }
}

// A few diagnostics in a long text take another way to byte columns than
// many do: the same words either way, positions at the text's ends, on
// line starts and after CRs included, in any order, and at the count where
// the two ways meet.
TEST(EncodeDiagnosticsTest, FewDiagnosticsInALongTextMatchSingleLookups) {
  std::string lines;
  for (int i = 0; lines.size() < 6000; ++i) {
    lines += std::string(static_cast<std::size_t>(i % 90), i % 3 == 0 ? 'a' : ' ');
    lines += i % 11 == 0 ? "\xE2\x82\xAC" : "";
    lines += i % 4 == 0 ? "\r\n" : i % 13 == 0 ? "\r" : "\n";
  }
  const std::string texts[] = {lines, lines + "\n", "\n" + lines + "tail", std::string(3000, 'q'),
                               std::string(3000, '\n')};
  Lcg next(99);
  for (const std::string& text : texts) {
    const std::vector<std::size_t> boundaries = char_boundaries(text);
    const std::size_t meet = text.size() / 256;
    for (std::size_t count : {std::size_t{1}, std::size_t{2}, meet, meet + 1}) {
      std::vector<SourceDiagnostic> diagnostics{diag(text.size(), text.size()), diag(0, 0)};
      while (diagnostics.size() < std::max<std::size_t>(count, 2)) {
        std::size_t a = next() % boundaries.size();
        std::size_t b = std::min(boundaries.size() - 1, a + next() % 300);
        diagnostics.push_back(diag(boundaries[a], boundaries[b], D::String));
      }
      diagnostics.resize(count);
      ASSERT_EQ(encode_diagnostics(text, diagnostics, with(kUtf8)), single_lookups(text, diagnostics, kUtf8))
          << text.size() << " " << count;
    }
  }
  // Positions are checked in arrival order, as on the other way.
  std::string text(1000, 'a');
  text += "\xC3\xA9";
  auto error_of = [&](std::vector<SourceDiagnostic> diagnostics) {
    return internal_error_of([&] { encode_diagnostics(text, diagnostics, with(kUtf8)); });
  };
  EXPECT_EQ(error_of({diag(3, 1001)}), "Diagnostic position 1001 is inside a multi-byte character");
  EXPECT_EQ(error_of({diag(1003, 5), diag(1001, 1001)}), "Diagnostic position 1003 is past the end of the text (1002 bytes)");
  EXPECT_EQ(error_of({diag(0, 1002)}), "");
}

TEST(EncodeDiagnosticsTest, TheFirstBadPositionInArrivalOrderNamesTheError) {
  const std::string text = "a\nb\xC3\xA9";  // 5 bytes, byte 4 inside "é"
  const std::string past_end = "Diagnostic position 9 is past the end of the text (5 bytes)";
  const std::string inside = "Diagnostic position 4 is inside a multi-byte character";
  for (auto e : {kUtf8, kUtf16}) {
    SCOPED_TRACE(static_cast<int>(e));
    auto error_of = [&](std::vector<SourceDiagnostic> diagnostics) {
      return internal_error_of([&] { encode_diagnostics(text, diagnostics, with(e)); });
    };
    EXPECT_EQ(error_of({diag(3, 5), diag(0, 9), diag(4, 5)}), past_end);
    EXPECT_EQ(error_of({diag(3, 5), diag(4, 5), diag(0, 9)}), inside);
    EXPECT_EQ(error_of({diag(3, 4), diag(0, 9)}), inside);
    EXPECT_EQ(error_of({diag(3, 5), diag(2, 0)}), "");
  }
}

TEST(EncodeDiagnosticsTest, PositionBeforeTheFirstCheckpointIsAnInternalError) {
  const std::string text(200, 'a');
  PositionMapping mapping({{100, 1, 1}}, text, &count_utf8_bytes);
  EXPECT_EQ(mapping.line_col_of(150), (LineCol{1, 51}));
  EXPECT_EQ(mapping.line_col_of(0), (LineCol{1, 1}));
  for (std::size_t p : {std::size_t{5}, std::size_t{99}}) {
    try {
      mapping.line_col_of(p);
      ADD_FAILURE() << p;
    } catch (const InternalError& e) {
      EXPECT_EQ(std::string(e.what()), "Diagnostic position " + std::to_string(p) + " precedes every line");
    }
  }
}

TEST(EncodeDiagnosticsTest, PositionsTheTextCannotHoldAreInternalErrors) {
  const std::string text = "a\xC3\xA9";  // 3 bytes, byte 2 inside "é"
  for (auto e : {kUtf8, kUtf16, kUtf32}) {
    SCOPED_TRACE(static_cast<int>(e));
    EXPECT_EQ(internal_error_of([&] { encode_diagnostics(text, std::vector{diag(0, 4)}, with(e)); }),
              "Diagnostic position 4 is past the end of the text (3 bytes)");
    EXPECT_EQ(internal_error_of([&] { encode_diagnostics(text, std::vector{diag(2, 3)}, with(e)); }),
              "Diagnostic position 2 is inside a multi-byte character");
    EXPECT_EQ(internal_error_of([&] { encode_diagnostics("", std::vector{diag(0, 1)}, with(e)); }),
              "Diagnostic position 1 is past the end of the text (0 bytes)");
    EXPECT_NE(internal_error_of([&] { encode_diagnostics(text, std::vector{SourceDiagnostic{ByteRange::absent(), D::UnknownToken}}, with(e)); }),
              "");
    EXPECT_EQ(internal_error_of([&] { encode_diagnostics(text, std::vector{diag(1, 3)}, with(e)); }), "");
  }
  // Offsets are not checked against the text, only against the word size.
  EXPECT_EQ(internal_error_of([&] { encode_diagnostics(text, std::vector{diag(2, 99)}, with(kNone)); }), "");
  EXPECT_EQ(internal_error_of([] { encode_diagnostics_none(std::vector{diag(0, 0x1'0000'0000ull)}); }),
            "Diagnostic offset 4294967296 does not fit in 32 bits");
  EXPECT_EQ(encode_diagnostics_none(std::vector{diag(0xFFFF'FFFFull, 0xFFFF'FFFFull)}),
            (Words{0xFFFF'FFFFu, 0xFFFF'FFFFu, 1007}));
}

}  // namespace
}  // namespace vaxo_core::diagnostic

// The scanner's fast paths (numbers, names, blanks, list growth) agree with
// the general readers on the inputs that take them, and the packed token kind
// keeps every kind's tag and payload.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/lexer/identifier.h"
#include "core/lexer/numeric.h"
#include "core/lexer/scanner.h"
#include "core/lexer/trivia.h"
#include "tests/lexer/support/lex_cases.h"
#include "tests/lexer/support/token_loop.h"

namespace vaxo_core::lexer {
namespace {

// The first token of `src` as the scanner reads it: its dump and its end.
std::pair<std::string, std::size_t> scanned(const std::string& src) {
  auto tokens = testing::lex_script(src);
  if (tokens.empty()) return {"FAILED", 0};
  return {testing::dump_kind(tokens[0].kind), tokens[0].range.end};
}

TEST(FastPath, NumbersAgreeWithTheGeneralReader) {
  std::vector<std::string> literals;
  // Decimals around the limits of the direct conversion: 19 digits, 2^53,
  // 22 fraction digits.
  for (int whole = 1; whole <= 21; whole += 2) {
    for (int fraction = 1; fraction <= 25; fraction += 3) {
      literals.push_back(std::string(whole, '7') + "." + std::string(fraction, '3'));
      literals.push_back("9" + std::string(whole - 1, '0') + "." + std::string(fraction - 1, '0') + "1");
    }
  }
  for (const char* s : {"9007199254740992.0", "9007199254740993.0", "0.1", "0.30000000000000004", "123456789.123456789",
                        "0.0000000000000000000001", "1.7976931348623157", "00.5", "1.0000000000000000000000",
                        // Exponents, well-formed or not, overflowing and underflowing.
                        "1e5", "1E5", "06e5", "6e+17", "6e-17", "1.5e3", "1.5E-3", "1.5e", "1.5e+", "1e", "1e+", "1.e5",
                        "1e400", "1e-400", "1.5e308", "1.8e308", "2.5e-324", "123456789012345678901234e-5",
                        // Integers: separated, zero-led, long, past 2^53 and 19 digits, and before `..`.
                        "1_000", "1__0", "0_1", "1_", "1_a", "007", "00", "0", "2147483647", "2147483648", "12345678901",
                        "9007199254740992", "9007199254740993", "1234567890123456789", "12345678901234567890",
                        "1_000.5", "1.", "1..", "1..<", "01..", "1_0..", "1.)", "1.\xc3\xa9"}) {
    literals.push_back(s);
  }
  // Prefixed integers: every radix and case, up to and past 64 bits, with
  // digits out of the radix.
  for (const char* prefix : {"0x", "0X", "0o", "0O", "0b", "0B"}) {
    for (const char* digits : {"", "0", "1", "7", "8", "9", "f", "F", "g", "1_0", "10", "7777777777777777777777",
                               "777777777777777777777", "ffffffffffffffff", "fffffffffffffff", "10000000000000000",
                               "1111111111111111111111111111111111111111111111111111111111111111",
                               "111111111111111111111111111111111111111111111111111111111111111"}) {
      literals.push_back(std::string(prefix) + digits);
    }
  }
  for (const auto& literal : literals) {
    for (const char* after : {"", ";", " x", ".", ".5", "x", "_", "e", "\xc3\xa9", "\xe2\x82\xac", "(", "9"}) {
      const std::string src = literal + after;
      SCOPED_TRACE(src);
      config::Config config;
      auto in = to_input(src, config);
      const TokenKind general = numeric::number(in);
      const auto [dump, end] = scanned(src);
      EXPECT_EQ(dump, testing::dump_kind(general));
      EXPECT_EQ(end, in.position);
    }
  }
}

TEST(FastPath, NamesAgreeWithTheGeneralReader) {
  // Names of every length up to past two blocks of sixteen bytes, at every
  // offset of a block, ending at the text's end or before a character of
  // each class.
  for (std::size_t lead = 0; lead < 17; lead += 4) {
    for (std::size_t length = 1; length <= 40; ++length) {
      std::string name;
      for (std::size_t i = 0; i < length; ++i) name += "aZ_9y"[i % 5];
      for (const char* after : {"", " ", "(", "\xc3\xa9x", "\xe2\x82\xac", "$", "@", "\x7f", "`", "{", "[", "/", "9"}) {
        const std::string src = std::string(lead, ' ') + name + after;
        SCOPED_TRACE(src);
        config::Config config;
        auto in = to_input(src, config);
        in.position = lead;
        const auto general = identifier::identifier(in, true);
        ASSERT_TRUE(general.has_value());
        auto tokens = testing::lex_script(src);
        ASSERT_FALSE(tokens.empty());
        EXPECT_EQ(testing::dump_kind(tokens[0].kind), testing::dump_kind(*general));
        EXPECT_EQ(tokens[0].range.start, lead);
        EXPECT_EQ(tokens[0].range.end, in.position);
      }
    }
  }
  // Every keyword, and every keyword with one more or one less character.
  for (std::size_t k = 0; k < kKeywordCount; ++k) {
    const std::string word(text(static_cast<Keyword>(k)));
    for (const std::string& src : {word, word + "s", word.substr(0, word.size() - 1), word + " ", word + "        x"}) {
      if (src.empty()) continue;
      SCOPED_TRACE(src);
      config::Config config;
      auto in = to_input(src, config);
      const auto general = identifier::identifier(in, true);
      ASSERT_TRUE(general.has_value());
      EXPECT_EQ(testing::dump_kind(testing::lex_script(src)[0].kind), testing::dump_kind(*general));
    }
  }
}

TEST(FastPath, BlankRunsOfEveryLength) {
  for (std::size_t length = 0; length <= 40; ++length) {
    for (const char* pattern : {" ", "\t", " \t ", "  \t"}) {
      std::string blanks;
      for (std::size_t i = 0; blanks.size() < length; ++i) blanks += pattern[i % std::string_view(pattern).size()];
      for (const char* after : {"b", "", "\n b", "// c\nb", "/* c */b", "\r\nb", "\rb", "/b"}) {
        const std::string src = ")" + blanks + after;
        SCOPED_TRACE(::testing::Message() << "\"" << debug_escape(src) << "\"");
        auto tokens = testing::lex_script(src);
        ASSERT_GE(tokens.size(), 2u);
        EXPECT_EQ(testing::check_invariants(src, tokens, false), "");
        // The next token (or the end) starts after the blanks and any trivia.
        const std::string_view rest(after);
        std::size_t next = 1 + blanks.size();
        if (rest.starts_with("\n ")) next += 2;
        if (rest.starts_with("// c\n")) next += 5;
        if (rest.starts_with("/* c */")) next += 7;
        if (rest.starts_with("\r\n")) next += 2;
        if (rest.empty()) {
          EXPECT_EQ(tokens[1].range.start, src.size());
        } else if (!rest.starts_with("\rb")) {
          EXPECT_EQ(tokens[1].range.start, next);
        } else {
          // A lone CR is no line ending: a one-character recovery token.
          EXPECT_EQ(tokens[1].range.start, 1 + blanks.size());
          EXPECT_TRUE(tokens[1].kind.is_unknown());
        }
      }
    }
  }
}

// The token loop reads blanks, line endings, names and operators itself; it
// must give what the one-token reader gives after the trivia, token by token,
// on every short sequence of bytes that start, end or break those paths.
TEST(FastPath, TheTokenLoopAgreesWithTheOneTokenReader) {
  const std::vector<std::string> atoms = {
      " ", "\t", "\n", "\r", "/", "*", "=", "&", "|", "?", ":", ".", "!", "<", ">", "-", "~", "+", "^", "%",
      "(", "}", ",", "x", "if", "in ", "7", "0", "_", "$", "@", "'", "#", "\xc3\xa9", "\xc3", "\x80", std::string(1, '\0')};
  const auto reference = [](std::string_view src) {
    auto tokens = testing::read_one_by_one(src);
    return tokens ? testing::dump_tokens(*tokens) : std::string("FAILED");
  };
  // Every sequence of one, two and three atoms, after each context.
  std::vector<std::string> sources = {""};
  for (int length = 1; length <= 3; ++length) {
    std::vector<std::string> longer;
    for (const auto& s : sources) {
      for (const auto& a : atoms) longer.push_back(s + a);
    }
    sources = std::move(longer);
    for (const auto& body : sources) {
      for (const char* context : {"", "a", "a.", "in", ") ", "x\n  "}) {
        const std::string src = context + body;
        SCOPED_TRACE(::testing::Message() << "\"" << debug_escape(src) << "\"");
        config::Config config;
        auto in = to_input(src, config);
        auto list = lex(in);
        ASSERT_TRUE(list.has_value());
        ASSERT_EQ(testing::dump_tokens(*list), reference(src));
      }
    }
  }
}

TEST(FastPath, StringRunsStopAtTheirFirstDelimiter) {
  // Runs of every length up to past two blocks of sixteen bytes, each
  // stopped by one delimiter (quote, `$`, backslash) or by the text's end;
  // the other quotes and the verbatim delimiters are plain text.
  for (std::size_t length = 0; length <= 40; ++length) {
    std::string run;
    for (std::size_t i = 0; i < length; ++i) run += "ab\"`\xc3\xa9 "[i % 7];
    SCOPED_TRACE(::testing::Message() << "\"" << debug_escape(run) << "\"");
    auto first = [](const std::string& src) { return testing::dump_kind(testing::lex_script(src)[0].kind); };
    EXPECT_EQ(first("'" + run + "'"), "String(\"" + debug_escape(run) + "\")");
    EXPECT_EQ(first("'" + run + "\\n'"), "String(\"" + debug_escape(run + "\n") + "\")");
    EXPECT_EQ(first("'" + run + "$x'"), "Interpolated(\"" + debug_escape(run) + "\" [" + std::to_string(length + 2) + ".." +
                                            std::to_string(length + 3) + " Identifier(x)] | \"\" [])");
    EXPECT_EQ(first("@'" + run + "\\'@"), "String(\"" + debug_escape(run + "\\") + "\")");
    const auto unterminated = first("'" + run);
    EXPECT_EQ(unterminated, "Unknown(String(\"" + debug_escape(run) + "\"); UnterminatedString " +
                                std::to_string(length + 1) + ".." + std::to_string(length + 1) + ")");
  }
}

TEST(FastPath, LineCommentsEndAtTheirLineStop) {
  // Comments of every length up to past two blocks of sixteen bytes; the
  // line stop is LF, CRLF, the text's end, or a lone CR (then no comment).
  for (std::size_t length = 0; length <= 40; ++length) {
    std::string comment;
    for (std::size_t i = 0; i < length; ++i) comment += "c /*\t\xc3\xa9"[i % 7];
    for (const char* stop : {"\n", "\r\n", "", "\r"}) {
      const std::string src = "a //" + comment + stop + "b";
      SCOPED_TRACE(::testing::Message() << "\"" << debug_escape(src) << "\"");
      auto tokens = testing::lex_script(src);
      EXPECT_EQ(testing::check_invariants(src, tokens, false), "");
      ASSERT_GE(tokens.size(), 2u);
      if (std::string_view(stop) == "\r") {
        EXPECT_EQ(tokens[1], Operator::Slash);
        EXPECT_EQ(tokens[1].range.start, 2u);
      } else if (std::string_view(stop).empty()) {
        ASSERT_EQ(tokens.size(), 2u);  // the comment runs to the end, `b` included
      } else {
        ASSERT_EQ(tokens.size(), 3u);
        EXPECT_EQ(tokens[1].range.start, src.size() - 1);
      }
    }
  }
}

TEST(FastPath, DenseScriptsOutgrowTheEstimate) {
  // One byte per token, after a sparse start that makes the density read so
  // far an underestimate: the list grows more than once and stays whole.
  std::string src = "// " + std::string(5000, 'c') + "\n";
  const std::size_t dense = 30000;
  for (std::size_t i = 0; i < dense; ++i) src += i % 2 == 0 ? ';' : ',';
  auto tokens = testing::lex_script(src);
  ASSERT_EQ(tokens.size(), dense + 1);
  for (std::size_t i = 0; i < dense; ++i) {
    ASSERT_EQ(tokens[i], i % 2 == 0 ? Operator::Semicolon : Operator::Comma) << i;
  }
  EXPECT_EQ(testing::check_invariants(src, tokens, false), "");
}

TEST(FastPath, LongScriptsStayWholeAndHoldLittleSpareRoom) {
  // Whatever the density does along the text, the list stays whole. The
  // token list is most of what a compile holds: for a text of even density
  // it ends at most a sixteenth larger than its tokens.
  const std::string even_line = "let ab = cd + 12;\n";  // 7 tokens
  const std::string sparse_line = "// " + std::string(60, 'c') + "\n";
  const std::string dense_line = "a;b;c;d;e;f;g;h;\n";  // 16 tokens
  struct Case {
    const char* name;
    std::vector<std::pair<const std::string*, std::size_t>> runs;  // line, times
    std::size_t tokens;
    bool tight;
  };
  const Case cases[] = {
      {"even", {{&even_line, 20000}}, 140000, true},
      {"sparse then dense", {{&sparse_line, 4000}, {&dense_line, 8000}}, 128000, false},
      {"even then dense", {{&even_line, 10000}, {&dense_line, 10000}}, 230000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string src;
    for (const auto& [line, times] : c.runs) {
      for (std::size_t i = 0; i < times; ++i) src += *line;
    }
    auto tokens = testing::lex_script(src);
    ASSERT_EQ(tokens.size(), c.tokens + 1);
    EXPECT_EQ(testing::check_invariants(src, tokens, false), "");
    if (c.tight) {
      EXPECT_LE(tokens.capacity(), tokens.size() + tokens.size() / 16);
    }
  }
}

TEST(FastPath, LongBodiesKeepEveryFragmentInOrder) {
  // Short bodies get an exact copy of their parts, long ones the list they
  // were read into; the info, read again, holds every fragment in order.
  for (std::size_t count : {1, 31, 32, 33, 100}) {
    for (bool template_mode : {false, true}) {
      std::string body;
      for (std::size_t i = 0; i < count; ++i) body += "<" + std::to_string(i) + ">$v" + std::to_string(i);
      const std::string src = template_mode ? body : "'" + body + "'";
      SCOPED_TRACE(src);
      config::Config config;
      auto in = to_input(src, config);
      auto tokens = template_mode ? lex_string(in) : lex(in);
      ASSERT_TRUE(tokens.has_value());
      const auto* s = (*tokens)[0].kind.get_if<TokenKind::InterpolatedString>();
      ASSERT_NE(s, nullptr);
      const auto& content = s->info->content;
      ASSERT_EQ(content.size(), 2 * count);
      ASSERT_EQ(s->parts.size(), count + 1);
      for (std::size_t i = 0; i < count; ++i) {
        const auto* text = std::get_if<StringFragment::Literal>(&content[2 * i].value);
        const auto* interpolation = std::get_if<StringFragment::Interpolation>(&content[2 * i + 1].value);
        ASSERT_NE(text, nullptr) << i;
        ASSERT_NE(interpolation, nullptr) << i;
        EXPECT_EQ(text->text, "<" + std::to_string(i) + ">");
        ASSERT_EQ(s->parts[i].count, 1u) << i;
        EXPECT_EQ(s->tokens_of(s->parts[i])[0].kind.to_string(), "v" + std::to_string(i));
      }
    }
  }
}

TEST(TokenModel, EveryKindKeepsItsTagAndPayloadThroughCopiesAndMoves) {
  using K = TokenKind;
  const std::string long_name(100000, 'n');
  std::vector<K> kinds;
  kinds.emplace_back(K::Eof{});
  kinds.emplace_back(K::Identifier{""});
  kinds.emplace_back(K::Identifier{"x"});
  kinds.emplace_back(K::Identifier{long_name});
  kinds.emplace_back(K::Ordinal{-1});
  kinds.emplace_back(K::Ordinal{2147483647});
  kinds.emplace_back(K::Number{2.5, {}});
  kinds.emplace_back(K::String{CowText::owned("s"), {}});
  kinds.emplace_back(K::InterpolatedString{});
  kinds.emplace_back(Operator::CloseBrace);
  kinds.emplace_back(Keyword::Resume);
  kinds.emplace_back(K::unknown(Keyword::If, {0, 2}, DiagnosticCode::UnexpectedToken));
  kinds.emplace_back(K::Empty{});
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.to_string());
    K copy = kind;
    EXPECT_EQ(copy, kind);
    EXPECT_EQ(copy.tag(), kind.tag());
    EXPECT_EQ(copy.to_string(), kind.to_string());
    K moved = std::move(copy);
    EXPECT_EQ(moved, kind);
    EXPECT_EQ(copy.tag(), kind.tag());  // NOLINT: a moved-from kind keeps its tag
    K assigned = K::Eof{};
    assigned = moved;
    EXPECT_EQ(assigned, kind);
  }
  EXPECT_EQ(kinds[3].get_if<K::Identifier>()->name.size(), long_name.size());
  EXPECT_EQ(kinds[4].get_if<K::Ordinal>()->value, -1);
  EXPECT_EQ(kinds[9].as_operator(), Operator::CloseBrace);
  EXPECT_EQ(kinds[10].as_keyword(), Keyword::Resume);
  EXPECT_EQ(kinds[1].to_id_name(), std::optional<std::string_view>(""));
  EXPECT_FALSE(kinds[5].get_if<K::Identifier>());

  // A boxed kind that was moved from holds no payload but keeps its tag.
  K number = K::Number{1.0, {}};
  K taken = std::move(number);
  EXPECT_TRUE(number.is_number());  // NOLINT
  EXPECT_EQ(number.get_if<K::Number>(), nullptr);
  EXPECT_EQ(K(number), number);
  EXPECT_NE(number, taken);

  // A recovered kind moved over its own holder.
  K unknown = K::unknown(K::Number{3.0, {}}, {0, 1}, DiagnosticCode::InvalidNumberLiteral);
  unknown = std::move(*unknown.get_if<K::Unknown>()->recovered);
  EXPECT_EQ(unknown, K(K::Number{3.0, {}}));
}

}  // namespace
}  // namespace vaxo_core::lexer

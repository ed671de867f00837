// Interpolations and template mode.
#include <gtest/gtest.h>

#include "tests/lexer/support/lex_cases.h"

namespace vaxo_core::lexer {
namespace {

using testing::LexCase;

TEST(Interpolation, NameForm) {
  const LexCase cases[] = {
      {"'a $b c'", "0..8 Interpolated(\"a \" [4..5 Identifier(b)] | \" c\" [])\n8..8 Eof\n"},
      {"'$a$b'", "0..6 Interpolated(\"\" [2..3 Identifier(a)] | \"\" [4..5 Identifier(b)] | \"\" [])\n6..6 Eof\n"},
      {"'$' '$ x' '$5'", "0..3 String(\"$\")\n4..9 String(\"$ x\")\n10..14 String(\"$5\")\n14..14 Eof\n"},
      {"'$$x'", "0..5 Interpolated(\"\" [2..4 Identifier($x)] | \"\" [])\n5..5 Eof\n"},
      {"@@'$$x'@@", "0..9 Interpolated(\"\" [5..6 Identifier(x)] | \"\" [])\n9..9 Eof\n"},
      {"@@'$x'@@", "0..8 String(\"$x\")\n8..8 Eof\n"},
      {"@@'$$$x'@@", "0..10 Interpolated(\"\" [5..7 Identifier($x)] | \"\" [])\n10..10 Eof\n"},
      {"'$true'", "0..7 Interpolated(\"\" [2..6 Keyword(true)] | \"\" [])\n7..7 Eof\n"},
      {"'$if'", "0..5 Interpolated(\"\" [2..4 Unknown(Keyword(nil); InvalidKeyword 2..4)] | \"\" [])\n5..5 Eof\n"},
      {"'$use'", "0..6 Interpolated(\"\" [2..5 Unknown(Keyword(nil); InvalidReservedKeyword 2..5)] | \"\" [])\n6..6 Eof\n"},
      {"'$_'", "0..4 Interpolated(\"\" [2..3 Unknown(Keyword(nil); InvalidKeyword 2..3)] | \"\" [])\n4..4 Eof\n"},
      // A name read as the token loop reads it: to its last XID_Continue
      // character, a keyword only when whole.
      {"'$iffy' '$Ab_1.c'",
       "0..7 Interpolated(\"\" [2..6 Identifier(iffy)] | \"\" [])\n8..17 Interpolated(\"\" [10..14 Identifier(Ab_1)] | \".c\" [])\n17..17 Eof\n"},
      {"'$café!' '$xλ'",
       "0..9 Interpolated(\"\" [2..7 Identifier(café)] | \"!\" [])\n10..16 Interpolated(\"\" [12..15 Identifier(xλ)] | \"\" [])\n16..16 Eof\n"},
      {"'$in$of'",
       "0..8 Interpolated(\"\" [2..4 Unknown(Keyword(nil); InvalidKeyword 2..4)] | \"\" [5..7 Identifier(of)] | \"\" [])\n8..8 Eof\n"},
      {"'\\t$a\\n$b\\q'",
       "0..12 Unknown(Interpolated(\"\\t\" [4..5 Identifier(a)] | \"\\n\" [8..9 Identifier(b)] | \"\" []); "
       "InvalidEscapeSequence 9..11)\n12..12 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(Interpolation, BraceForm) {
  const LexCase cases[] = {
      {"'${a}'", "0..6 Interpolated(\"\" [2..3 Operator({), 3..4 Identifier(a), 4..5 Operator(})] | \"\" [])\n6..6 Eof\n"},
      {"'${}'", "0..5 Interpolated(\"\" [2..3 Operator({), 3..4 Operator(})] | \"\" [])\n5..5 Eof\n"},
      {"'${ {} }x'",
       "0..10 Interpolated(\"\" [2..3 Operator({), 4..5 Operator({), 5..6 Operator(}), 7..8 Operator(})] | \"x\" [])\n10..10 Eof\n"},
      {"'${ '}' }'",
       "0..10 Interpolated(\"\" [2..3 Operator({), 4..7 String(\"}\"), 8..9 Operator(})] | \"\" [])\n10..10 Eof\n"},
      // Trivia inside are skipped; the brace that closes leaves what follows unread.
      {"'${ a // c\n} b'",
       "0..15 Interpolated(\"\" [2..3 Operator({), 4..5 Identifier(a), 11..12 Operator(})] | \" b\" [])\n15..15 Eof\n"},
      {"'${a",
       "0..4 Unknown(Interpolated(\"\" [2..3 Operator({), 3..4 Identifier(a), 4..4 Eof] | \"\" []); UnterminatedString 4..4)\n4..4 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(Interpolation, ParenForm) {
  const LexCase cases[] = {
      {"'$(a)'", "0..6 Interpolated(\"\" [3..4 Identifier(a)] | \"\" [])\n6..6 Eof\n"},
      {"'$()'", "0..5 Interpolated(\"\" [3..3 Empty] | \"\" [])\n5..5 Eof\n"},
      {"'$(x:08.2f)'", "0..12 Interpolated(\"\" [3..4 Identifier(x)] format \"08.2f\" | \"\" [])\n12..12 Eof\n"},
      {"'$(x: >5)'", "0..10 Interpolated(\"\" [3..4 Identifier(x)] format \" >5\" | \"\" [])\n10..10 Eof\n"},
      {"'$(f(a):x)'",
       "0..11 Interpolated(\"\" [3..4 Identifier(f), 4..5 Operator((), 5..6 Identifier(a), 6..7 Operator())] format \"x\" | \"\" [])\n11..11 Eof\n"},
      {"'$(a ? b : c)'",
       "0..14 Interpolated(\"\" [3..4 Identifier(a), 5..6 Operator(?), 7..8 Identifier(b)] format \" c\" | \"\" [])\n14..14 Eof\n"},
      {"'$((a ? b : c))'",
       "0..16 Interpolated(\"\" [3..4 Operator((), 4..5 Identifier(a), 6..7 Operator(?), 8..9 Identifier(b), "
       "10..11 Operator(:), 12..13 Identifier(c), 13..14 Operator())] | \"\" [])\n16..16 Eof\n"},
      {"'$({k: 1}.k)'",
       "0..13 Interpolated(\"\" [3..4 Operator({), 4..5 Identifier(k), 5..6 Operator(:), 7..8 Ordinal(1), "
       "8..9 Operator(}), 9..10 Operator(.), 10..11 Identifier(k)] | \"\" [])\n13..13 Eof\n"},
      {"'$(x:[)])'", "0..10 Interpolated(\"\" [3..4 Identifier(x)] format \"[)]\" | \"\" [])\n10..10 Eof\n"},
      {"'$(x:[(]y)'", "0..11 Interpolated(\"\" [3..4 Identifier(x)] format \"[(]y\" | \"\" [])\n11..11 Eof\n"},
      {"'$(x:\\))'", "0..9 Interpolated(\"\" [3..4 Identifier(x)] format \"\\\\)\" | \"\" [])\n9..9 Eof\n"},
      {"'$(x:a(b)c)'", "0..12 Interpolated(\"\" [3..4 Identifier(x)] format \"a(b)c\" | \"\" [])\n12..12 Eof\n"},
      {"'$( a ):x'",
       "0..10 Interpolated(\"\" [4..5 Identifier(a)] | \":x\" [])\n10..10 Eof\n"},
      {"'$(:x)' '$( )'",
       "0..7 Interpolated(\"\" [3..3 Empty] format \"x\" | \"\" [])\n8..14 Interpolated(\"\" [11..11 Empty] | \"\" [])\n14..14 Eof\n"},
      {"'$(nil:x)'", "0..10 Interpolated(\"\" [3..6 Identifier(nil)] format \"x\" | \"\" [])\n10..10 Eof\n"},
      // The closing apostrophe opens a nested literal that runs to the end.
      {"'$(x'",
       "0..5 Unknown(Interpolated(\"\" [3..4 Identifier(x), 4..5 Unknown(String(\"\"); UnterminatedString 5..5), 5..5 Eof] | \"\" []); "
       "UnterminatedString 5..5)\n5..5 Eof\n"},
      // The format text runs past the closing quote; the end token is the Eof.
      {"'$(x:abc'",
       "0..9 Unknown(Interpolated(\"\" [3..4 Identifier(x)] format \"abc\\'\" | \"\" []); UnterminatedString 9..9)\n9..9 Eof\n"},
      {"$(", "0..1 Identifier($)\n1..2 Operator(()\n2..2 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(Interpolation, Delimiters) {
  auto tokens = testing::lex_script("'$(x:y)' '$(a' '$(b:c'");
  ASSERT_EQ(tokens.size(), 3u);  // the second literal swallows the rest
  const auto& info = *tokens[0]->get_if<TokenKind::InterpolatedString>()->info;
  const auto& interp = std::get<StringFragment::Interpolation>(info.content[0].value);
  EXPECT_EQ(interp.dollars, "$");
  EXPECT_TRUE(interp.tokens.empty());  // moved into the parts
  ASSERT_TRUE(interp.delimiters);
  EXPECT_EQ(interp.delimiters->first, Operator::OpenParen);
  EXPECT_EQ(interp.delimiters->first.range, (ByteRange{2, 3}));
  EXPECT_EQ(interp.delimiters->second, Operator::CloseParen);
  EXPECT_EQ(interp.delimiters->second.range, (ByteRange{6, 7}));

  config::Config config;
  auto in = to_input("$(", config);
  auto tpl = lex_string(in);
  ASSERT_TRUE(tpl);
  const auto& tinfo = *(*tpl)[0]->get_if<TokenKind::InterpolatedString>()->info;
  const auto& ti = std::get<StringFragment::Interpolation>(tinfo.content[0].value);
  EXPECT_TRUE(ti.delimiters->second->is_empty());
  EXPECT_EQ(ti.delimiters->second.range, (ByteRange{2, 2}));
  EXPECT_EQ(testing::dump_tokens(*tpl), "0..2 Interpolated(\"\" [2..2 Eof] | \"\" [])\n2..2 Eof\n");

  auto in2 = to_input("$(x:abc", config);
  auto tpl2 = lex_string(in2);
  ASSERT_TRUE(tpl2);
  const auto& i2 = std::get<StringFragment::Interpolation>(
      (*tpl2)[0]->get_if<TokenKind::InterpolatedString>()->info->content[0].value);
  EXPECT_TRUE(i2.delimiters->second->is_eof());
}

// The info of a literal: where it opens and closes, then its fragments.
std::string describe(const StringInfo& info) {
  auto range = [](ByteRange r) { return std::to_string(r.start) + ".." + std::to_string(r.end); };
  std::string out = range(info.leading_range) + " " + range(info.trailing_range) + " @" + std::to_string(info.ats);
  out += info.quote ? std::string(1, static_cast<char>(*info.quote)) : std::string("-");
  for (const auto& f : info.content) {
    out += " | ";
    if (const auto* lit = std::get_if<StringFragment::Literal>(&f.value)) {
      out += "lit \"" + debug_escape(lit->text) + "\"";
    } else if (const auto* esc = std::get_if<StringFragment::EscapedChar>(&f.value)) {
      out += "esc " + std::to_string(esc->value) + " \"" + std::string(esc->text) + "\"";
    } else if (const auto* bad = std::get_if<StringFragment::InvalidEscapedChar>(&f.value)) {
      out += "bad " + range(bad->range) + " " + std::string(diagnostic::name(bad->error));
    } else if (const auto* interp = std::get_if<StringFragment::Interpolation>(&f.value)) {
      out += "interp " + std::string(interp->dollars) + " " + std::to_string(interp->tokens.size());
      if (!interp->format.empty()) out += " format \"" + debug_escape(interp->format) + "\"";
      if (interp->delimiters) {
        out += " " + range(interp->delimiters->first.range) + " " + testing::dump_kind(interp->delimiters->first.kind) +
               " " + range(interp->delimiters->second.range) + " " + testing::dump_kind(interp->delimiters->second.kind);
      }
    } else {
      out += "end";
    }
  }
  return out;
}

// The string kind of `t` (under its recovery wrappers).
const TokenKind& string_kind(const Token& t) {
  const TokenKind* k = &t.kind;
  while (const auto* u = k->get_if<TokenKind::Unknown>()) k = u->recovered.get();
  return *k;
}

const StringInfo* info_of(const TokenKind& k) {
  if (const auto* s = k.get_if<TokenKind::String>()) return s->info.get();
  if (const auto* s = k.get_if<TokenKind::InterpolatedString>()) return s->info.get();
  return nullptr;
}

// A literal's info is built on first access from the text: a copy taken
// before that, and a literal nested in an interpolation, describe the same
// literal as it was read.
TEST(StringInfo, ReadAgainAsItWasRead) {
  struct Case {
    std::string_view src;
    bool template_mode;
    std::size_t part;  // with `nested`: the token `nested` of this part
    std::optional<std::size_t> nested;
    std::string_view info;
  };
  const Case cases[] = {
      {"'a\\n$b${c}$(d:x)\\q'", false, 0, {},
       "0..1 18..19 @0' | lit \"a\" | esc 10 \"n\" | interp $ 0 | interp $ 0 | interp $ 0 format \"x\" 11..12 "
       "Operator(() 15..16 Operator()) | bad 17..18 InvalidEscapeSequence"},
      {"'${ \"x\\ty\" + $(z) }'", false, 0, 1, "4..5 9..10 @0\" | lit \"x\" | esc 9 \"t\" | lit \"y\""},
      {"'${ \"x\\ty\" + '$(z)' }'", false, 0, 3,
       "13..14 18..19 @0' | interp $ 0 15..16 Operator(() 17..18 Operator())"},
      {"@@'$ $$x $$$y'@@", false, 0, {}, "0..3 13..16 @2' | lit \"$\" | lit \" \" | interp $$ 0 | lit \" \" | interp $$ 0"},
      {"a $(b) $ c\n$${d}\\n", true, 0, {},
       "0..0 18..18 @1- | lit \"a \" | interp $ 0 3..4 Operator(() 5..6 Operator()) | lit \" \" | lit \"$\" | "
       "lit \" c\\n\" | interp $ 0 | lit \"{d}\\\\n\""},
      {"'$(x", false, 0, {}, "0..1 0..0 @0' | interp $ 0 2..3 Operator(() 4..4 Empty"},
      {"x 'a\\", false, 1, {}, "2..3 0..0 @0' | lit \"a\""},
      {"'\\u{110000}\\x41'", false, 0, {}, "0..1 15..16 @0' | bad 2..11 InvalidUnicodeEscapeSequence | esc 65 \"x41\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "source: \"" << debug_escape(c.src) << "\"");
    config::Config config;
    auto in = to_input(c.src, config);
    auto tokens = c.template_mode ? lex_string(in) : lex(in);
    ASSERT_TRUE(tokens.has_value());
    const Token* t = &(*tokens)[c.part];
    if (c.nested) {
      const auto* s = string_kind(*t).get_if<TokenKind::InterpolatedString>();
      ASSERT_TRUE(s != nullptr && !s->parts.empty() && s->parts[0].count > *c.nested);
      t = &s->tokens_of(s->parts[0])[*c.nested];
    }
    const Token copy = *t;
    for (const Token* read : {t, &copy}) {
      const StringInfo* info = info_of(string_kind(*read));
      ASSERT_NE(info, nullptr);
      EXPECT_EQ(describe(*info), c.info);
    }
  }
}

// An interpolation's tokens live as long as the string token, through the
// whole compile: a string's one list holds its tokens and no room reserved
// while it was read.
TEST(Interpolation, TokenListsHoldNoSpareRoom) {
  struct Case {
    const char* src;
    std::size_t first_part;  // the first part's token count
  };
  const Case cases[] = {
      {"'${ a } $(b:x) $(c) ${ 1 + 2 * 3 - 4 / 5 % 6 ^ 7 }'", 3},
      {"'a ${ b + c * (d - e) + f + g + h + i + j } $(x: fmt) $(y) $z'", 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.src);
    auto tokens = testing::lex_script(c.src);
    const auto* s = tokens[0]->get_if<TokenKind::InterpolatedString>();
    ASSERT_TRUE(s);
    ASSERT_EQ(s->parts.size(), 5u);
    EXPECT_EQ(s->parts[0].count, c.first_part);
    EXPECT_EQ(s->tokens.capacity(), s->tokens.size());
  }
}

TEST(Template, WholeTextIsOneString) {
  const LexCase cases[] = {
      {"", "0..0 String(\"\")\n0..0 Eof\n"},
      {"Hello $name!", "0..12 Interpolated(\"Hello \" [7..11 Identifier(name)] | \"!\" [])\n12..12 Eof\n"},
      {"a\\n'\"`@ $", "0..9 String(\"a\\\\n\\'\\\"`@ $\")\n9..9 Eof\n"},
      {"a ${ b", "0..6 Interpolated(\"a \" [3..4 Operator({), 5..6 Identifier(b), 6..6 Eof] | \"\" [])\n6..6 Eof\n"},
      {"$$x", "0..3 Interpolated(\"\" [1..3 Identifier($x)] | \"\" [])\n3..3 Eof\n"},
      {"x\n// not a comment\n", "0..19 String(\"x\\n// not a comment\\n\")\n19..19 Eof\n"},
  };
  testing::expect_lex_cases(cases, true);
  config::Config config;
  auto in = to_input("", config);
  auto tpl = lex_string(in);
  ASSERT_TRUE(tpl);
  EXPECT_TRUE((*tpl)[0]->get_if<TokenKind::String>()->value.is_owned());
  const auto& info = *(*tpl)[0]->get_if<TokenKind::String>()->info;
  EXPECT_EQ(info.ats, 1u);
  EXPECT_FALSE(info.quote);
  auto in2 = to_input("abc", config);
  auto tpl2 = lex_string(in2);
  EXPECT_EQ((*tpl2)[0]->get_if<TokenKind::String>()->info->trailing_range, (ByteRange{3, 3}));
}

}  // namespace
}  // namespace vaxo_core::lexer

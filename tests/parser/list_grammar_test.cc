// The bracketed list grammar and the record member grammar, driven by small
// element parsers so the list machinery is tested on its own: `atom` reads a
// literal or a name, `stretch` adds the expression fallback's behaviour (a run
// of tokens up to a stop token, commas and colons included).
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "core/parser/array_helper.h"
#include "core/parser/helper.h"
#include "core/parser/parser.h"
#include "core/parser/record_helper.h"
#include "tests/parser/support/source.h"

namespace vaxo_core::parser {
namespace {

using testing::Source;
using D = DiagnosticCode;

std::optional<Expression> atom(ParserContext& ctx) {
  if (auto t = helper::literal_token(ctx)) return Expression(Expression::Literal{std::move(*t)});
  if (auto t = helper::variable_token(ctx, false, true)) return Expression(Expression::Variable{std::move(*t)});
  return std::nullopt;
}

bool stops_stretch(const Token* t) {
  return t->kind.is_eof() || *t == Keyword::If || *t == Keyword::Fn || *t == Keyword::Loop || *t == Keyword::While ||
         *t == Keyword::Match || *t == Keyword::For || *t == Keyword::Let || *t == Keyword::Const ||
         *t == Operator::Semicolon || *t == Operator::OpenBrace || *t == Operator::CloseBrace ||
         *t == Operator::OpenBracket || *t == Operator::CloseBracket || *t == Operator::OpenParen ||
         *t == Operator::CloseParen || *t == Operator::Assign;
}

// An atom, else the tokens up to the next stop token as one Unknown.
std::optional<Expression> stretch(ParserContext& ctx) {
  if (auto a = atom(ctx)) return a;
  auto taken = lexer::take_till(lexer::kOneOrMore, stops_stretch)(ctx);
  if (!taken) return std::nullopt;
  NodeList<TokenRef> tokens;
  for (const Token& t : *taken) tokens.push_back(TokenRef::borrow(t));
  return Expression::unknown(std::move(tokens), D::UnknownExpression);
}

std::string show(const TokenRef& t) {
  if (t.is_owned()) return t->to_string() + "@" + std::to_string(t->range.start);
  return t->to_string();
}

std::string show(const Expression& e) {
  if (auto* l = e.get_if<Expression::Literal>()) return l->literal->to_string();
  if (auto* v = e.get_if<Expression::Variable>()) return v->name->to_string();
  if (e.is_interpolated_string()) return "$";
  if (auto* u = e.get_if<Expression::Unknown>()) {
    if (u->tokens.size() == 1 && u->tokens[0]->kind.is_empty()) {
      return "?@" + std::to_string(u->tokens[0]->range.start);
    }
    std::string s = "unk(";
    for (std::size_t i = 0; i < u->tokens.size(); ++i) s += (i ? " " : "") + u->tokens[i]->to_string();
    return s + ")";
  }
  return "other";
}

template <typename Item>
std::string show_comma(const Item& item) {
  return item.comma ? " " + show(*item.comma) : "";
}

std::string show(const ListParts<ArgumentItem>& list) {
  const auto& [open, items, close] = list;
  std::string s = show(open);
  for (const ArgumentItem& item : items) {
    s += " ";
    if (auto* e = item->as_element()) s += "E(" + show(*e->value) + ")";
    if (auto* sp = item->as_spread()) s += "S(" + show(*sp->value) + ")";
    s += show_comma(item);
  }
  return s + " " + show(close);
}

std::string show(const ListParts<RecordItem>& list) {
  using R = RecordElementBase<Expression, Expression>;
  const auto& [open, items, close] = list;
  std::string s = show(open);
  for (const RecordItem& item : items) {
    s += " ";
    std::visit(
        [&](const auto& m) {
          using M = std::decay_t<decltype(m)>;
          if constexpr (std::is_same_v<M, R::Named>) {
            s += "N(" + show(m.name) + show(m.colon) + show(*m.value) + ")";
          } else if constexpr (std::is_same_v<M, R::InterpolateNamed>) {
            s += "I(" + show(*m.name_expression) + show(m.colon) + show(*m.value) + ")";
          } else if constexpr (std::is_same_v<M, R::OmitNamed>) {
            s += "O(" + show(m.colon) + show(*m.value) + ")";
          } else if constexpr (std::is_same_v<M, R::Unnamed>) {
            s += "U(" + show(*m.value) + ")";
          } else {
            s += "S(" + show(*m.value) + ")";
          }
        },
        item->node);
    s += show_comma(item);
  }
  return s + " " + show(close);
}

auto arguments(bool inserting_open) {
  auto open = [inserting_open](ParserContext& ctx) {
    if (inserting_open) return helper::token_or_insert(Operator::OpenParen, D::MissingOpenParenAfterExtension)(ctx);
    return helper::token(Operator::OpenParen)(ctx);
  };
  return array_helper::array_base(open, helper::token_or_insert(Operator::CloseParen, D::MissingCloseParen), stretch,
                                  stretch, expressions::expression_expected);
}

auto brackets() {
  return array_helper::array_base(helper::token(Operator::OpenBracket),
                                  helper::token_or_insert(Operator::CloseBracket, D::MissingCloseBracket), stretch,
                                  atom, expressions::expression_expected);
}

struct Row {
  std::string source;
  std::string list;
  std::string rest;
};

// Each row's list, as `rule` reads it, and what it leaves unread.
template <typename Rule>
void check_rows(std::span<const Row> rows, Rule rule) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    Source src(row.source);
    auto list = rule(src.ctx());
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(show(*list), row.list);
    EXPECT_EQ(src.rest(), row.rest);
  }
}

TEST(ArrayListTest, EntriesCommasAndEnds) {
  const Row rows[] = {
      {"[]", "[ ]", "␃"},
      {"[1, 2]", "[ E(1) , E(2) ]", "␃"},
      {"[1, 2,]", "[ E(1) , E(2) , ]", "␃"},
      // A missing comma is inserted at the end of the element.
      {"[1 2]", "[ E(1) <?,>@2 E(2) ]", "␃"},
      // Empty slots: the placeholder sits at the comma's start.
      {"[,]", "[ E(?@1) , ]", "␃"},
      {"[1,,2]", "[ E(1) , E(?@3) , E(2) ]", "␃"},
      // Eof is a comma-free follower; the closer goes after the last token.
      {"[1, 2", "[ E(1) , E(2) <?]>@5", "␃"},
      {"[1; 2]", "[ E(1) <?]>@2", "; 2 ] ␃"},
      // Any closer ends any list.
      {"[1, 2)", "[ E(1) , E(2) <?]>@5", ") ␃"},
      {"[a let", "[ E(a) <?]>@2", "let ␃"},
      {"[..xs, 1]", "[ S(xs) , E(1) ]", "␃"},
      // A spread whose operand fails ends the list before the `..`.
      {"[1, ..]", "[ E(1) , <?]>@3", ".. ] ␃"},
      // The stretch fallback runs across commas up to the closer.
      {"[: , 1]", "[ E(unk(: , 1)) ]", "␃"},
  };
  check_rows(rows, brackets());
}

// Lists of one entry type share a pending stack: an inner list that makes it
// grow while the outer list's entries sit below keeps both lists whole.
TEST(ArrayListTest, NestedListsOnOneStackKeepTheirEntries) {
  for (int n : {15, 16, 17, 65, 150}) {
    SCOPED_TRACE(n);
    std::string source = "[";
    for (int i = 0; i < n; ++i) {
      source += "[";
      for (int j = 0; j <= i; ++j) source += "v" + std::to_string(i) + "_" + std::to_string(j) + ", ";
      source += "], ";
    }
    Source src(source + "]");
    auto script = parse(src.ctx());
    ASSERT_TRUE(script && script->value);
    const auto* outer = script->value->get_if<Expression::Array>();
    ASSERT_TRUE(outer);
    ASSERT_EQ(outer->items.size(), static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      const auto& value = std::get<Iterable::Value>(outer->items[i]->as_element()->value->node).value;
      const auto* inner = value.get_if<Expression::Array>();
      ASSERT_TRUE(inner);
      ASSERT_EQ(inner->items.size(), static_cast<std::size_t>(i + 1));
      for (int j = 0; j <= i; ++j) {
        const auto& entry = std::get<Iterable::Value>(inner->items[j]->as_element()->value->node).value;
        ASSERT_EQ(show(entry), "v" + std::to_string(i) + "_" + std::to_string(j));
      }
    }
  }
}

TEST(ArrayListTest, OpenerFailureConsumesNothing) {
  Source src("(1]");
  EXPECT_FALSE(brackets()(src.ctx()).has_value());
  EXPECT_EQ(src.ctx().index, 0u);
}

TEST(ArrayListTest, ArgumentListsAndInsertedOpeners) {
  {
    // `f(..)`: the spread has no operand, so the list is empty and `..` stays.
    Source src("(..)");
    auto list = arguments(false)(src.ctx());
    ASSERT_TRUE(list);
    EXPECT_EQ(show(*list), "( <?)>@1");
    EXPECT_EQ(src.rest(), ".. ) ␃");
  }
  {
    Source src("(1]");
    auto list = arguments(false)(src.ctx());
    EXPECT_EQ(show(*list), "( E(1) <?)>@2");
    EXPECT_EQ(src.rest(), "] ␃");
  }
  {
    // An inserted opener and closer share one offset: the end of the token
    // before them.
    Source src("f ;");
    src.ctx().next();
    auto list = arguments(true)(src.ctx());
    EXPECT_EQ(show(*list), "<?(>@1 <?)>@1");
    EXPECT_EQ(src.rest(), "; ␃");
  }
  {
    // No token left at all: an entry fails and its element is dropped.
    Source src("(a");
    ParserContext sub = src.ctx().nested(std::span<const Token>(src.tokens().data(), 2));
    auto list = arguments(false)(sub);
    EXPECT_EQ(show(*list), "( <?)>@1");
  }
}

auto record() {
  auto interpolated = [](const Token& t) { return Expression(Expression::InterpolatedString{&t, {}}); };
  return record_helper::record_base(stretch, interpolated, stretch, stretch, stretch,
                                    expressions::expression_expected);
}

TEST(RecordListTest, MemberFormsInOrder) {
  const Row rows[] = {
      {"()", "( )", "␃"},
      {"(a)", "( U(a) )", "␃"},
      {"(a,)", "( U(a) , )", "␃"},
      {"(,)", "( U(?@1) , )", "␃"},
      {"(a,,b)", "( U(a) , U(?@3) , U(b) )", "␃"},
      {"(a: 1, b?: 2)", "( N(a:1) , N(b?:2) )", "␃"},
      {"(:x, ?:y)", "( O(:x) , O(?:y) )", "␃"},
      {"(..r)", "( S(r) )", "␃"},
      {"('k': 1, 0: 2)", "( N(\"k\":1) , N(0:2) )", "␃"},
      {"(if: 1, _: 2)", "( N(if:1) , N(_:2) )", "␃"},
      {"('${k}': 1)", "( I($:1) )", "␃"},
      {"(a b)", "( U(a) <?,>@2 U(b) )", "␃"},
      // A Number is no field name: a positional member, then an omitted name.
      {"(1.5: x)", "( U(1.5) <?,>@4 O(:x) )", "␃"},
      // A name and colon without a value: re-read as positional, and the
      // colon starts the next member.
      {"(a: )", "( U(a) <?,>@2 U(unk(:)) )", "␃"},
      {"(a: , b)", "( N(a:unk(, b)) )", "␃"},
      {"(..)", "( U(unk(..)) )", "␃"},
      {"(a; b)", "( U(a) <?)>@2", "; b ) ␃"},
      {"(a]", "( U(a) <?)>@2", "] ␃"},
  };
  check_rows(rows, record());
}

TEST(RecordListTest, RecordNameAcceptsNamesOrdinalsAndStrings) {
  struct NameRow {
    std::string source;
    bool accepted;
    bool owned;
  };
  const NameRow rows[] = {
      {"a", true, false}, {"_", true, false},  {"global", true, false}, {"try", true, true},
      {"0", true, false}, {"'s'", true, false}, {"1.5", false, false},   {"if", false, false},
  };
  for (const NameRow& row : rows) {
    SCOPED_TRACE(row.source);
    Source src(row.source);
    auto name = record_helper::record_name(src.ctx());
    ASSERT_EQ(name.has_value(), row.accepted);
    if (name) {
      EXPECT_EQ(name->is_owned(), row.owned);
    } else {
      EXPECT_EQ(src.ctx().index, 0u);
    }
  }
}

}  // namespace
}  // namespace vaxo_core::parser

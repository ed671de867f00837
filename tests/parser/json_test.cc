// The JSON-style object literal: keys, inserted colons, commas and braces,
// the dropped comma of the last member, and the inputs that are no literal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/parser/block_expressions.h"
#include "core/parser/json_expressions.h"
#include "tests/parser/support/cases.h"

namespace vaxo_core::parser {
namespace {

using testing::Case;
using testing::Source;

TEST(Json, Literals) {
  const Case cases[] = {
      {"{'a': 1}", "(json \"a\":1 })"},
      {"{'a': 1,}", "(json \"a\":1 })"},
      {"{'a': 1, 'b': 2}", "(json \"a\":1 \"b\":2 })"},
      {"{'$k': v}", "(json $:v })"},
      {"{'a': x is 1 'b': 2}", "(json \"a\":(is x 1)<,> \"b\":2 })", {"MissingComma 12..12"}},
      {"{'a': 1 'b': 2}", "(json \"a\":(tag 1 \"b\") <?}>)", {"MissingCloseBrace 11..11"}, ": 2 } ␃"},
      {"{'a': 1, 'b' 2}", "(json \"a\":1 \"b\"<?:>2 })", {"MissingColon 12..12"}},
      {"{'a': 1, 'b'}", "(json \"a\":1 \"b\"<?:>? })", {"MissingColon 12..12", "ExpressionExpected 12..12"}},
      {"{'a': }", "(json \"a\":? })", {"ExpressionExpected 5..5"}},
      {"{'a': , 'b': 2}", "(json \"a\":(unknown , \"b\" : 2) })", {"UnknownExpression 6..14"}},
      {"{'a': 1", "(json \"a\":1 <?}>)", {"MissingCloseBrace 7..7"}},
      {"{'a': 1, b: 2}", "(json \"a\":1 <?}>)", {"MissingCloseBrace 8..8"}, "b : 2 } ␃"},
      {"{'a': 1, 'b' ?: 2}", "(json \"a\":1 \"b\"<?:>(unknown ?: 2) })",
       {"MissingColon 12..12", "UnknownExpression 13..17"}},
      {"{'a': 1 +}", "(json \"a\":(unknown 1 +) })", {"UnknownExpression 6..9"}},
      {"{'a': )", "fail", {}, "{ \"a\" : ) ␃"},
      {"{a: 1}", "fail", {}, "{ a : 1 } ␃"},
      {"{'a'}", "fail", {}, "{ \"a\" } ␃"},
      {"{'a' ?: 1}", "fail", {}, "{ \"a\" ?: 1 } ␃"},
  };
  for (const Case& c : cases) testing::check(c, json_expressions::json_expression);
}

TEST(Json, TrailingCommasStayOnTheirMembers) {
  Source s("{'a': 1, 'b': 2,}");
  auto e = json_expressions::json_expression(s.ctx());
  ASSERT_TRUE(e);
  const auto& record = std::get<Expression::Record>(e->node);
  ASSERT_EQ(record.elements.size(), 2u);
  EXPECT_TRUE(record.elements[0].has_tail_comma());
  EXPECT_TRUE(record.elements[1].has_tail_comma());
  EXPECT_TRUE(record.elements[1].comma->is_borrowed());
}

TEST(Json, ABraceThatIsNoLiteralIsABlock) {
  for (const char* text : {"{a: 1}", "{'a'}", "{'a' ?: 1}"}) {
    SCOPED_TRACE(text);
    Source s(text);
    auto e = block_expressions::block_like_expression(s.ctx());
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->is<Expression::Block>());
  }
  Source s("{'a': )");
  EXPECT_FALSE(block_expressions::block_like_expression(s.ctx()));
  EXPECT_EQ(s.ctx().index, 0u);
}

}  // namespace
}  // namespace vaxo_core::parser

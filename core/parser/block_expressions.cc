#include "core/parser/block_expressions.h"

#include <array>
#include <utility>
#include <vector>

#include "core/parser/array_helper.h"
#include "core/parser/ast_walker.h"
#include "core/parser/basic_expressions.h"
#include "core/parser/expressions.h"
#include "core/parser/failure_memo.h"
#include "core/parser/helper.h"
#include "core/parser/json_expressions.h"
#include "core/parser/parameter_list.h"
#include "core/parser/parser.h"
#include "core/parser/patterns.h"

namespace vaxo_core::parser::block_expressions {
namespace {

using expressions::build;
using expressions::ExprBox;
using expressions::make;
using expressions::when_next_is;

// Runs `rule` unless it failed here before; a failure restores the position
// and is remembered.
template <typename Rule>
auto remembered(ParserContext& ctx, memo::Rule memo_rule, Rule rule) -> decltype(rule()) {
  if (memo::failed(ctx, memo_rule)) return {};
  const auto start = ctx.checkpoint();
  auto result = rule();
  if (!result) {
    ctx.reset(start);
    memo::remember(ctx, memo_rule);
  }
  return result;
}

// The `{` ... `}` of a block: both braces inserted when missing.
struct BlockParts {
  TokenRef open;
  NodeList<Statement> statements;
  std::unique_ptr<Expression> value;
  TokenRef close;
};
BlockParts block_parts(ParserContext& ctx, bool room_for_value = false) {
  auto open = helper::token_or_insert(Operator::OpenBrace, DiagnosticCode::MissingOpenBrace)(ctx);
  auto [statements, value] = helper::statements_and_expression(ctx, room_for_value);
  auto close = helper::token_or_insert(Operator::CloseBrace, DiagnosticCode::MissingCloseBrace)(ctx);
  return BlockParts{std::move(*open), std::move(statements), std::move(value), std::move(*close)};
}

}  // namespace

// The rule of each keyword that begins a block-like form.
constexpr auto kBlockLikeRules = [] {
  std::array<ExprBox (*)(ParserContext&), lexer::kKeywordCount> rules{};
  const auto set = [&rules](Keyword k, ExprBox (*rule)(ParserContext&)) { rules[static_cast<std::size_t>(k)] = rule; };
  set(Keyword::If, if_expression);
  set(Keyword::Fn, fn_expression);
  set(Keyword::Loop, loop_expression);
  set(Keyword::While, while_expression);
  set(Keyword::Match, match_expression);
  set(Keyword::For, for_in_expression);
  return rules;
}();
static_assert([] {
  for (std::size_t i = 0; i < lexer::kKeywordCount; ++i) {
    if ((kBlockLikeRules[i] != nullptr) != lexer::starts_block_like(static_cast<Keyword>(i))) return false;
  }
  return true;
}(), "a rule for exactly the block-like keywords of keyword.def");

ExprBox block_like_expression(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr) return nullptr;
  if (*t == Operator::OpenBrace) {
    if (ExprBox json = json_expressions::json_expression(ctx)) return json;
    return block_expression(ctx);
  }
  auto* kw = t->kind.get_if<TokenKind::Keyword>();
  if (kw == nullptr) return nullptr;
  const auto rule = kBlockLikeRules[static_cast<std::size_t>(kw->keyword)];
  return rule != nullptr ? rule(ctx) : nullptr;
}

ExprBox block_expression(ParserContext& ctx) {
  if (json_expressions::json_start(ctx)) return nullptr;
  auto parts = block_parts(ctx);
  return make(ctx, Expression::Block{std::move(parts.open), std::move(parts.statements), std::move(parts.value),
                                      std::move(parts.close)});
}

ExprBox block_expression_no_expr(ParserContext& ctx) {
  auto parts = block_parts(ctx, true);
  if (parts.value) {
    if (parts.value->is_block_like()) {
      parts.statements.push_back(build(ctx, Statement::BlockExpression{std::move(parts.value)}));
    } else {
      // A loop body has no value: its trailing expression is a statement
      // whose `;` is missing at the expression's end.
      std::size_t end = range(*parts.value).end;
      auto semicolon = TokenRef::make(
          Token::unknown(ByteRange{end, end}, Operator::Semicolon, DiagnosticCode::MissingSemicolon));
      parts.statements.push_back(build(ctx, Statement::Expression{std::move(parts.value), std::move(semicolon)}));
    }
  }
  return make(ctx, Expression::Block{std::move(parts.open), std::move(parts.statements), nullptr,
                                      std::move(parts.close)});
}

ExprBox if_expression(ParserContext& ctx) {
  auto guard = ctx.enter();
  return remembered(ctx, memo::Rule::IfExpression, [&]() -> ExprBox {
    auto if_keyword = helper::token(Keyword::If)(ctx);
    if (!if_keyword) return nullptr;
    auto condition = expressions::expression_or_insert(ctx, when_next_is(Operator::OpenBrace));
    if (!condition) return nullptr;
    auto then_block = block_expression(ctx);
    std::optional<std::optional<ElseBlock>> else_block;
    if (then_block) else_block = optional_else(ctx);
    if (!else_block) {
      memo::keep(ctx, std::move(condition));
      memo::keep(ctx, std::move(then_block));
      return nullptr;
    }
    return make(ctx, Expression::If{std::move(*if_keyword), std::move(condition), std::move(then_block),
                                    boxed(std::move(*else_block))});
  });
}

std::optional<std::optional<ElseBlock>> optional_else(ParserContext& ctx) {
  const auto start = ctx.checkpoint();
  auto else_keyword = helper::token(Keyword::Else)(ctx);
  if (!else_keyword) return std::optional<ElseBlock>();
  // `else if` or a block: the `if` rule is only entered at its keyword.
  const Token* next = ctx.peek();
  ExprBox body = next != nullptr && *next == Keyword::If ? if_expression(ctx) : nullptr;
  if (!body) body = block_expression(ctx);
  if (!body) {
    ctx.reset(start);
    return std::nullopt;
  }
  return std::optional<ElseBlock>(ElseBlock{std::move(*else_keyword), std::move(body)});
}

ExprBox while_expression(ParserContext& ctx) {
  return remembered(ctx, memo::Rule::WhileExpression, [&]() -> ExprBox {
    auto while_keyword = helper::token(Keyword::While)(ctx);
    if (!while_keyword) return nullptr;
    auto condition = expressions::expression_or_insert(ctx, when_next_is(Operator::OpenBrace));
    if (!condition) return nullptr;
    auto body = block_expression_no_expr(ctx);
    auto else_block = optional_else(ctx);
    if (!else_block) {
      memo::keep(ctx, std::move(condition));
      memo::keep(ctx, std::move(body));
      return nullptr;
    }
    return make(ctx, Expression::While{std::move(*while_keyword), std::move(condition), std::move(body),
                                        boxed(std::move(*else_block))});
  });
}

ExprBox loop_expression(ParserContext& ctx) {
  auto loop_keyword = helper::token(Keyword::Loop)(ctx);
  if (!loop_keyword) return nullptr;
  auto body = block_expression_no_expr(ctx);
  return make(ctx, Expression::Loop{std::move(*loop_keyword), std::move(body)});
}

ExprBox for_in_expression(ParserContext& ctx) {
  return remembered(ctx, memo::Rule::ForInExpression, [&]() -> ExprBox {
    auto for_keyword = helper::token(Keyword::For)(ctx);
    if (!for_keyword) return nullptr;
    auto pattern = patterns::pattern_or_insert_box(ctx, false, [](const Token&) { return true; });
    if (!pattern) return nullptr;
    auto in_keyword = helper::token(Keyword::In)(ctx);
    if (!in_keyword) return nullptr;
    auto source = basic_expressions::iterable(ctx);
    if (!source) return nullptr;
    auto body = block_expression_no_expr(ctx);
    auto else_block = optional_else(ctx);
    if (!else_block) {
      memo::keep(ctx, std::move(body));
      return nullptr;
    }
    return make(ctx, Expression::ForIn{std::move(*for_keyword), std::move(pattern), std::move(*in_keyword),
                                        std::move(source), std::move(body), boxed(std::move(*else_block))});
  });
}

ExprBox fn_expression(ParserContext& ctx) {
  return remembered(ctx, memo::Rule::FnExpression, [&]() -> ExprBox {
    auto fn_keyword = helper::token(Keyword::Fn)(ctx);
    if (!fn_keyword) return nullptr;
    auto parameters = parameter_list::parameter_list(ctx);
    auto body = block_expression(ctx);
    if (!body) return nullptr;
    return make(ctx, Expression::Function{std::move(*fn_keyword), boxed(std::move(parameters)), std::move(body)});
  });
}

ExprBox match_expression(ParserContext& ctx) {
  return remembered(ctx, memo::Rule::MatchExpression, [&]() -> ExprBox {
    auto match_keyword = helper::token(Keyword::Match)(ctx);
    if (!match_keyword) return nullptr;
    auto value = expressions::expression_or_insert(ctx, when_next_is(Operator::OpenBrace));
    if (!value) return nullptr;
    auto open = helper::token_or_insert(Operator::OpenBrace, DiagnosticCode::MissingOpenBrace)(ctx);
    NodeList<MatchCase> cases = list_detail::read_entries<MatchCase>(ctx, branch_parser);
    auto close = helper::token_or_insert(Operator::CloseBrace, DiagnosticCode::MissingCloseBrace)(ctx);
    return make(ctx, Expression::Match{std::move(*match_keyword), std::move(value), std::move(*open),
                                        std::move(cases), std::move(*close)});
  });
}

std::optional<MatchCase> branch_parser(ParserContext& ctx) {
  const auto start = ctx.checkpoint();
  struct Head {
    TokenRef case_keyword;
    Pattern pattern;
    std::optional<MatchCase::Guard> guard;
  };
  // A guard: `if` and its condition, or nothing (the `if` then stays unread).
  auto guard_of = [&](bool insert) -> std::optional<MatchCase::Guard> {
    const auto before = ctx.checkpoint();
    auto if_keyword = helper::token(Keyword::If)(ctx);
    if (!if_keyword) return std::nullopt;
    auto condition = insert ? expressions::expression_or_insert(ctx, when_next_is(Operator::OpenBrace))
                            : expressions::expression(ctx);
    if (!condition) {
      ctx.reset(before);
      return std::nullopt;
    }
    return MatchCase::Guard{std::move(*if_keyword), std::move(*condition)};
  };
  auto written_case = [&]() -> std::optional<Head> {
    auto case_keyword = helper::token(Keyword::Case)(ctx);
    if (!case_keyword) return std::nullopt;
    auto pattern = patterns::pattern_or_insert(
        ctx, false, [](const Token& t) { return t == Operator::OpenBrace || t == Keyword::If; });
    if (!pattern) return std::nullopt;
    auto guard = guard_of(true);
    return Head{std::move(*case_keyword), std::move(*pattern), std::move(guard)};
  };
  auto missing_case = [&]() -> std::optional<Head> {
    // The stand-in `case` is made once a pattern follows: the last attempt
    // of every match meets its `}`.
    const std::size_t case_at = ctx.previous_token_end();
    auto case_keyword = helper::token(Keyword::Case)(ctx);
    auto pattern = patterns::pattern(ctx, false);
    if (!pattern) return std::nullopt;
    if (!case_keyword) {
      case_keyword =
          TokenRef::make(Token::unknown(ByteRange{case_at, case_at}, Keyword::Case, DiagnosticCode::MissingCase));
    }
    auto guard = guard_of(false);
    return Head{std::move(*case_keyword), std::move(*pattern), std::move(guard)};
  };

  auto head = written_case();
  if (!head) {
    ctx.reset(start);
    head = missing_case();
  }
  if (!head) {
    ctx.reset(start);
    return std::nullopt;
  }
  auto body = block_expression(ctx);
  if (!body) {
    ctx.reset(start);
    return std::nullopt;
  }
  return MatchCase{std::move(head->case_keyword), std::move(head->pattern), std::move(head->guard),
                   std::move(*body)};
}

}  // namespace vaxo_core::parser::block_expressions

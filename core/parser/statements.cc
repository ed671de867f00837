#include "core/parser/statements.h"

#include <array>

#include <string_view>
#include <utility>

#include "core/parser/block_expressions.h"
#include "core/parser/expressions.h"
#include "core/parser/failure_memo.h"
#include "core/parser/helper.h"
#include "core/parser/parameter_list.h"
#include "core/parser/patterns.h"

namespace vaxo_core::parser::statements {
namespace {

using expressions::when_next_is;

// The statement of `alt`, built in the result: a statement is moved only
// into its list.
template <typename Alt>
std::optional<Statement> made(const ParserContext& ctx, Alt&& alt) {
  std::optional<Statement> s(std::in_place, std::forward<Alt>(alt));
  ctx.check_height(s->height);
  return s;
}

// A keyword, an optional value, `;`: return and break.
template <typename Node>
std::optional<Statement> keyword_value_statement(ParserContext& ctx, Keyword keyword) {
  auto keyword_token = helper::token(keyword)(ctx);
  if (!keyword_token) return std::nullopt;
  const auto before_value = ctx.checkpoint();
  auto value = expressions::expression(ctx);
  if (!value) ctx.reset(before_value);
  auto semi = semicolon(ctx);
  return made(ctx, Node{std::move(*keyword_token), std::move(value), std::move(semi)});
}

std::optional<Statement> block_like_statement(ParserContext& ctx, std::unique_ptr<Expression> (*rule)(ParserContext&)) {
  auto e = memo::take_kept(ctx, true);
  if (!e) e = rule(ctx);
  if (!e) return std::nullopt;
  return made(ctx, Statement::BlockExpression{std::move(e)});
}

template <std::unique_ptr<Expression> (*Rule)(ParserContext&)>
std::optional<Statement> block_like(ParserContext& ctx) {
  return block_like_statement(ctx, Rule);
}

// The rule of each keyword that begins a statement of its own.
constexpr auto kStatementRules = [] {
  using Rule = std::optional<Statement> (*)(ParserContext&);
  std::array<Rule, lexer::kKeywordCount> rules{};
  const auto set = [&rules](Keyword k, Rule rule) { rules[static_cast<std::size_t>(k)] = rule; };
  set(Keyword::If, block_like<block_expressions::if_expression>);
  set(Keyword::Loop, block_like<block_expressions::loop_expression>);
  set(Keyword::While, block_like<block_expressions::while_expression>);
  set(Keyword::Match, block_like<block_expressions::match_expression>);
  set(Keyword::For, block_like<block_expressions::for_in_expression>);
  set(Keyword::Fn, fn_statement);
  set(Keyword::Return, return_statement);
  set(Keyword::Break, break_statement);
  set(Keyword::Continue, continue_statement);
  set(Keyword::Let, bind_statement);
  set(Keyword::Const, const_statement);
  return rules;
}();
static_assert([] {
  for (std::size_t i = 0; i < lexer::kKeywordCount; ++i) {
    if ((kStatementRules[i] != nullptr) != lexer::starts_statement(static_cast<Keyword>(i))) return false;
  }
  return true;
}(), "a rule for exactly the statement keywords of keyword.def");

std::optional<Statement> dispatch(ParserContext& ctx, const Token& next, TrailingValue* trailing) {
  if (auto* op = next.kind.get_if<TokenKind::Operator>()) {
    if (op->op == Operator::OpenBrace) return block_like_statement(ctx, block_expressions::block_expression);
    if (op->op == Operator::Semicolon) return empty_statement(ctx);
    // Every block ends here: no rebind target, expression or placeholder
    // starts at `}`, so the alternatives below would all fail.
    if (op->op == Operator::CloseBrace) return std::nullopt;
  } else if (auto* kw = next.kind.get_if<TokenKind::Keyword>()) {
    if (const auto rule = kStatementRules[static_cast<std::size_t>(kw->keyword)]) return rule(ctx);
  }
  if (auto rebind = rebind_statement(ctx)) return rebind;
  return assign_or_expression_statement(ctx, trailing);
}

}  // namespace

std::unique_ptr<Expression> TrailingValue::take_at(ParserContext& ctx) {
  if (!expression || input != ctx.tokens.data() || from != ctx.index) return nullptr;
  ctx.index = to;
  return std::move(expression);
}

std::optional<Statement> statement(ParserContext& ctx, TrailingValue* trailing) {
  auto guard = ctx.enter();
  const Token* next = ctx.peek();
  const bool known_failure =
      next == nullptr || memo::failed(ctx, memo::Rule::Statement);
  if (!known_failure) memo::charge(ctx);
  const auto start = ctx.checkpoint();
  // A failure leaves the position where it began and is remembered there.
  std::optional<Statement> result = known_failure ? std::optional<Statement>() : dispatch(ctx, *next, trailing);
  if (!result && !known_failure) {
    ctx.reset(start);
    memo::remember(ctx, memo::Rule::Statement);
  }
  return result;
}

std::optional<Statement> fn_statement(ParserContext& ctx) {
  const auto start = ctx.checkpoint();
  auto fn_keyword = helper::token(Keyword::Fn)(ctx);
  if (!fn_keyword) return std::nullopt;
  const auto before_name = ctx.checkpoint();
  auto name = helper::variable_token(ctx, false, false);
  if (!name) {
    ctx.reset(before_name);
    std::size_t end = fn_keyword->range().end;
    name = TokenRef::make(Token::unknown(ByteRange{end, end}, TokenKind(TokenKind::Identifier{"<name>"}),
                                         DiagnosticCode::MissingFunctionName));
    // Without a name, what follows `fn` is what a function expression
    // reads there: one kept at the keyword lends its parameters and body.
    ctx.reset(start);
    if (auto kept = memo::take_kept(ctx)) {
      if (auto* f = kept->get_if<Expression::Function>()) {
        return made(ctx, Statement::Function{std::move(*fn_keyword), std::move(*name), std::move(f->parameters),
                                              std::move(f->body)});
      }
      throw InternalError("internal error: entered unreachable code: a kept primary at `fn` is a function");
    }
    ctx.reset(before_name);
  }
  auto parameters = parameter_list::parameter_list(ctx);
  auto body = block_expressions::block_expression(ctx);
  if (!body) {
    ctx.reset(start);
    return std::nullopt;
  }
  return made(ctx, Statement::Function{std::move(*fn_keyword), std::move(*name), boxed(std::move(parameters)),
                                        std::move(body)});
}

std::optional<Statement> bind_statement(ParserContext& ctx) {
  const auto start = ctx.checkpoint();
  auto let_keyword = helper::token(Keyword::Let)(ctx);
  if (!let_keyword) return std::nullopt;
  auto pattern = patterns::pattern_or_insert_box(ctx, false, [](const Token& t) { return t == Operator::Assign; });
  if (!pattern) {
    ctx.reset(start);
    return std::nullopt;
  }
  auto equals = helper::token_or_insert(Operator::Assign, DiagnosticCode::MissingBindOperator)(ctx);
  auto value = expressions::expression_or_insert(ctx, when_next_is(Operator::Semicolon));
  if (!value) {
    ctx.reset(start);
    return std::nullopt;
  }
  auto semi = semicolon(ctx);
  return made(ctx, Statement::Bind{std::move(*let_keyword), std::move(pattern), std::move(*equals),
                                    std::move(value), std::move(semi)});
}

std::optional<Statement> const_statement(ParserContext& ctx) {
  const auto start = ctx.checkpoint();
  auto const_keyword = helper::token(Keyword::Const)(ctx);
  if (!const_keyword) return std::nullopt;
  auto name = helper::variable_token(ctx, false, false);
  if (!name) {
    ctx.reset(start);
    return std::nullopt;
  }
  // A name `variable_token` flagged already keeps only that flag.
  if (auto id = (*name)->kind.to_id_name(); id && !id->starts_with("@")) {
    name->wrap_as_unknown(DiagnosticCode::InvalidConstantName);
  }
  auto equals = helper::token_or_insert(Operator::Assign, DiagnosticCode::MissingBindOperator)(ctx);
  auto value = expressions::expression_or_insert(ctx, when_next_is(Operator::Semicolon));
  if (!value) {
    ctx.reset(start);
    return std::nullopt;
  }
  auto semi = semicolon(ctx);
  return made(ctx, Statement::Const{std::move(*const_keyword), std::move(*name), std::move(*equals),
                                     std::move(value), std::move(semi)});
}

std::optional<Statement> rebind_statement(ParserContext& ctx) {
  // A name is a whole pattern when `.`, `[`, `(`, `::` or a compound
  // assignment follows it, and that is no `=`: the common call statement
  // `f(x);` and assignments `a.b = c`, `n += 1` need neither a pattern read
  // nor the scan below.
  if (ctx.index + 1 < ctx.tokens.size() && ctx.tokens[ctx.index].kind.is_identifier()) {
    if (const auto* op = ctx.tokens[ctx.index + 1].kind.get_if<TokenKind::Operator>()) {
      const Operator o = op->op;
      if (o == Operator::Dot || o == Operator::OpenBracket || o == Operator::OpenParen || o == Operator::ColonColon ||
          lexer::is_compound(o)) {
        return std::nullopt;
      }
    }
  }
  // The target must run up to the first `=`: no pattern takes `=`, nor `;`,
  // braces, Eof or a statement keyword. Without such an `=` there is no
  // rebind, and no pattern needs reading.
  const std::size_t equals_at = memo::next_stop(ctx, memo::StopSet::Rebind);
  if (equals_at >= ctx.tokens.size() || !(ctx.tokens[equals_at] == Operator::Assign)) return std::nullopt;
  const auto start = ctx.checkpoint();
  auto pattern = patterns::pattern_or_insert_box(ctx, true, [](const Token& t) { return t == Operator::Assign; });
  if (!pattern) return std::nullopt;
  auto equals = helper::token(Operator::Assign)(ctx);
  if (!equals) {
    ctx.reset(start);
    return std::nullopt;
  }
  auto value = expressions::expression_or_insert(ctx, when_next_is(Operator::Semicolon));
  if (!value) {
    ctx.reset(start);
    return std::nullopt;
  }
  auto semi = semicolon(ctx);
  return made(ctx, Statement::Rebind{std::move(pattern), std::move(*equals), std::move(value),
                                      std::move(semi)});
}

std::optional<Statement> assign_or_expression_statement(ParserContext& ctx, TrailingValue* trailing) {
  const auto start = ctx.checkpoint();
  // expression_or_insert(is_assign_op), keeping apart a real expression from the placeholder.
  auto assignee = expressions::expression(ctx);
  const bool read = assignee != nullptr;
  if (!read) {
    std::size_t pos = ctx.previous_token_end();
    const Token* next = ctx.peek();
    if (next == nullptr || !(next->kind.is_eof() || is_assign_op(*next))) return std::nullopt;
    assignee = std::make_unique<Expression>(expressions::expression_expected(pos));
  }

  const Token* op = ctx.peek();
  if (op != nullptr && is_assign_op(*op)) {
    ctx.next();
    auto value = expressions::expression_or_insert(ctx, when_next_is(Operator::Semicolon));
    if (!value) {
      memo::keep(ctx, std::move(assignee));
      ctx.reset(start);
      return std::nullopt;
    }
    auto semi = semicolon(ctx);
    return made(ctx, Statement::Assign{std::move(assignee), TokenRef::borrow(*op), std::move(value),
                                        std::move(semi)});
  }
  if (!insert_semicolon(ctx)) {
    if (read && trailing != nullptr) {
      trailing->input = ctx.tokens.data();
      trailing->from = start;
      trailing->to = ctx.index;
      trailing->expression = std::move(assignee);
    }
    ctx.reset(start);
    return std::nullopt;
  }
  auto semi = semicolon(ctx);
  return made(ctx, Statement::Expression{std::move(assignee), std::move(semi)});
}

std::optional<Statement> return_statement(ParserContext& ctx) {
  return keyword_value_statement<Statement::Return>(ctx, Keyword::Return);
}

std::optional<Statement> break_statement(ParserContext& ctx) {
  return keyword_value_statement<Statement::Break>(ctx, Keyword::Break);
}

std::optional<Statement> continue_statement(ParserContext& ctx) {
  auto continue_keyword = helper::token(Keyword::Continue)(ctx);
  if (!continue_keyword) return std::nullopt;
  auto semi = semicolon(ctx);
  return made(ctx, Statement::Continue{std::move(*continue_keyword), std::move(semi)});
}

std::optional<Statement> empty_statement(ParserContext& ctx) {
  auto semi = helper::token(Operator::Semicolon)(ctx);
  if (!semi) return std::nullopt;
  return made(ctx, Statement::Empty{std::move(*semi)});
}

TokenRef semicolon(ParserContext& ctx) {
  return std::move(*helper::token_or_insert(Operator::Semicolon, DiagnosticCode::MissingSemicolon)(ctx));
}

bool insert_semicolon(const ParserContext& ctx) {
  const Token* next = ctx.peek();
  if (next == nullptr) return false;
  return !(*next == Operator::CloseBrace || next->kind.is_eof() || *next == Keyword::Case || *next == Keyword::Else);
}

bool is_assign_op(const Token& token) {
  auto* op = token.kind.get_if<TokenKind::Operator>();
  return op != nullptr && (op->op == Operator::Assign || lexer::is_compound(op->op));
}

}  // namespace vaxo_core::parser::statements

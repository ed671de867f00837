// Statements: let, const, rebinding, assignment, expression statements, fn,
// return, break, continue, `;`, and block-like expressions used as statements.
//
// `statement` dispatches on the first token. It fails, consuming nothing,
// where no statement starts (the caller recovers), and also where an
// expression is directly followed by `}`, Eof, `case` or `else`: that
// expression is the trailing value of the enclosing block or script. Missing
// `;`, `=`, values, patterns and function names are inserted with their
// diagnostics. Failures are remembered per position.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "core/parser/ast.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::statements {

// The expression an expression statement read before it found that the
// expression ends its block or script (`from`..`to` token positions). The
// statement loops take it as their trailing value instead of reading the same
// tokens again.
struct TrailingValue {
  const Token* input = nullptr;  // the token list it was read from
  std::size_t from = 0;
  std::size_t to = 0;
  std::unique_ptr<Expression> expression;

  // Takes the expression when it was read at the context's position.
  std::unique_ptr<Expression> take_at(ParserContext& ctx);
};

// With `trailing`, the failure described above fills it.
std::optional<Statement> statement(ParserContext& ctx, TrailingValue* trailing = nullptr);

std::optional<Statement> fn_statement(ParserContext& ctx);
std::optional<Statement> bind_statement(ParserContext& ctx);
std::optional<Statement> const_statement(ParserContext& ctx);
std::optional<Statement> rebind_statement(ParserContext& ctx);
std::optional<Statement> assign_or_expression_statement(ParserContext& ctx, TrailingValue* trailing = nullptr);
std::optional<Statement> return_statement(ParserContext& ctx);
std::optional<Statement> break_statement(ParserContext& ctx);
std::optional<Statement> continue_statement(ParserContext& ctx);
std::optional<Statement> empty_statement(ParserContext& ctx);

// `;`, or an inserted one (MissingSemicolon) at previous_token_end.
TokenRef semicolon(ParserContext& ctx);
// True when a next token exists and is none of `}`, Eof, `case`, `else`.
bool insert_semicolon(const ParserContext& ctx);
// `=` or a compound assignment operator.
bool is_assign_op(const Token& token);

}  // namespace vaxo_core::parser::statements

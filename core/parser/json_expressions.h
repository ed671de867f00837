// The JSON-style object literal: `{ "key": value, ... }` with string or
// interpolated-string keys, read as an Expression::Record whose opening and
// closing tokens are the braces.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <variant>

#include "core/parser/ast.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::json_expressions {

// The key of one member.
struct JsonFieldName {
  struct Literal {
    TokenRef name;  // the String token
  };
  struct Interpolated {
    std::unique_ptr<Expression> name_expression;  // an Expression::InterpolatedString
  };
  std::variant<Literal, Interpolated> node;
};

// One member while the literal is read.
struct JsonElement {
  JsonFieldName key;
  TokenRef colon;  // possibly inserted (MissingColon)
  std::unique_ptr<Expression> value;
  std::optional<TokenRef> comma;  // none when missing: inserted unless the member is the last
  std::size_t comma_at;            // where a missing comma goes
};

// True when the next tokens are `{`, a String or InterpolatedString token and
// a real `:` (not `?:`). A look-ahead: consumes nothing.
bool json_start(const ParserContext& ctx);

std::optional<JsonFieldName> json_field_name(ParserContext& ctx);

// The literal; fails, consuming nothing, without json_start or when its first
// member cannot be read.
std::unique_ptr<Expression> json_expression(ParserContext& ctx);

}  // namespace vaxo_core::parser::json_expressions

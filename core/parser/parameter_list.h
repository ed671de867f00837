// The parenthesised parameter list of a function: an array-like list of
// patterns in `(` `)` read with rebind off. A spread in the last place is the
// rest parameter; a spread anywhere else becomes a plain parameter wrapping
// its operand, flagged MispositionedRestParameter over its `..`.
#pragma once

#include <optional>

#include "core/parser/ast.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::parameter_list {

// The list, or nullopt (nothing consumed) when the next token is not `(`.
// Once `(` is read it always succeeds; a missing `)` is inserted.
std::optional<ParameterList> parameter_list(ParserContext& ctx);

}  // namespace vaxo_core::parser::parameter_list

// Tokens as the compile pipeline hands them to the parser, for the parser
// tests and the parser fuzz target, which run the parser without the compile
// stage: every recovery token of the lexer is replaced by the token it stands
// for, and its diagnostics are dropped.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "core/config/config.h"
#include "core/lexer/token.h"

namespace vaxo_core::lexer::testing {

// `token` and the tokens of its interpolations, recovery tokens unwrapped.
void unwrap_recovery(Token& token);

// The tokens of `text`, lexed as a script or, with `config.input_mode`
// Template, as one template string; nothing when the lexer gives up.
std::optional<std::vector<Token>> parser_tokens(std::string_view text, const config::Config& config);

}  // namespace vaxo_core::lexer::testing

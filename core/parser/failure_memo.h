// The failure memo of the expression, statement and block rules.
//
// A rule tried again at a position where it failed before fails at once: every
// rule is a pure function of its input, its position and its parameters. The
// parse's own ParserState keeps such failures in a hash set; while
// `parser::parse` runs, a flat table of one word per token of the script's
// list answers for the script (the hot case) without hashing. The token lists
// of interpolations, and rules run outside `parse`, use the hash set.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/parser/parser_context.h"

namespace vaxo_core::parser::memo {

// One bit per remembered rule: 0..kPrattSlots-1 for the operator loop by
// minimum binding strength, then the others.
enum class Rule : std::uint8_t {
  IfExpression = 20,
  WhileExpression,
  ForInExpression,
  MatchExpression,
  FnExpression,
  JsonExpression,
  Statement,
  BracketSuffix,
};

// The slot of the operator loop with this minimum, or -1 for a minimum the
// flat table has no bit for (those go to the hash set).
int pratt_slot(std::uint8_t min, bool allow_range);

bool failed(const ParserContext& ctx, std::uint32_t key, int bit);
void remember(ParserContext& ctx, std::uint32_t key, int bit);

// Makes the flat table available for `tokens` parsed with `state` while it
// lives. Scopes nest.
class Scope {
 public:
  Scope(const ParserState& state, std::span<const lexer::Token> tokens);
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  friend bool failed(const ParserContext&, std::uint32_t, int);
  friend void remember(ParserContext&, std::uint32_t, int);

  const ParserState* state_;
  const lexer::Token* tokens_;
  std::vector<std::uint64_t> bits_;  // one word per position, the end included
  Scope* outer_;
};

}  // namespace vaxo_core::parser::memo

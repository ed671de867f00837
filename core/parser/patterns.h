// The pattern grammar: the targets of `let` and rebind statements, the
// pattern after `for` and `case`, the right operand of `is`, and (through
// array_pattern_like) function parameters.
//
// pattern = or_pattern: a left fold of `or` over a left fold of `and` over
// primary patterns; a primary pattern is the first of eight alternatives that
// succeeds (relation, record or grouping, array, range, literal or constant,
// discard or bind, `not`, and the last-resort Unknown pattern).
//
// A pattern fails, consuming nothing, only when no token is left or the next
// token is in the pattern stop set and is neither `(` nor `[`. Any other bad
// input yields a pattern whose faulty parts are Unknown patterns or flagged
// tokens carrying their diagnostics.
//
// `rebind` is true only for the target of a rebind statement; it is passed to
// every nested pattern, and only changes how a `mut` before a name is read.
//
// Recursion: primary_pattern enters one guarded level (ParserContext::enter),
// and the `or`/`and` folds check the height of each node they build; past
// either bound ParseAborted ends the parse.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "core/parser/ast.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::patterns {

// The rules build each pattern in its box, never moved after.
using PatBox = std::unique_ptr<Pattern>;

std::optional<Pattern> pattern(ParserContext& ctx, bool rebind);
PatBox pattern_box(ParserContext& ctx, bool rebind);
PatBox or_pattern(ParserContext& ctx, bool rebind);
PatBox and_pattern(ParserContext& ctx, bool rebind);
PatBox primary_pattern(ParserContext& ctx, bool rebind);
PatBox not_pattern(ParserContext& ctx, bool rebind);
PatBox relation_pattern(ParserContext& ctx);
PatBox range_pattern(ParserContext& ctx);
// A range bound that is a non-number literal becomes an unrecovered Unknown
// (NonNumberInRange); anything else is returned unchanged.
Pattern range_guard(Pattern bound);
PatBox range_guard(PatBox bound);
// STRICT: a relation operand or range bound, where a plain name is reported
// (InvalidConstantLiteral) and stands as a constant; lenient (a primary
// alternative): a plain name is no constant and the form fails.
PatBox literal_constant_pattern(ParserContext& ctx, bool strict);
PatBox constant_pattern(ParserContext& ctx, bool strict);
PatBox literal_pattern(ParserContext& ctx);
PatBox discard_bind_pattern(ParserContext& ctx, bool rebind);
PatBox record_like_pattern(ParserContext& ctx, bool rebind);
PatBox array_pattern(ParserContext& ctx, bool rebind);
// A bracketed list of patterns between `open` ("[" or "(", plain match) and
// `close` (inserting): a Pattern::Array, or null when `open` fails.
PatBox array_pattern_like(ParserContext& ctx, Operator open, Operator close, DiagnosticCode missing_close,
                          bool rebind);
// The operand after a `..` just consumed; never fails (SpreadDiscard when no
// pattern follows).
PatBox pattern_spread_box(ParserContext& ctx, bool rebind);
PatBox unknown_pattern(ParserContext& ctx);

// The placeholder for a missing pattern: an Unknown holding one owned
// zero-width Empty token at `pos`, with PatternExpected over pos..pos.
Pattern pattern_expected(std::size_t pos);

// The stop set of unknown_pattern: Eof, if fn loop while match for let const,
// and , = ; { } [ ] ( ).
bool is_pattern_stop(const Token& t);

// A pattern, or, consuming nothing, the placeholder at previous_token_end
// when the next token is Eof or satisfies `insert_cond`; fails otherwise,
// and when no token is left.
template <typename InsertCond>
PatBox pattern_or_insert_box(ParserContext& ctx, bool rebind, InsertCond insert_cond) {
  if (PatBox p = pattern_box(ctx, rebind)) return p;
  std::size_t pos = ctx.previous_token_end();
  const Token* next = ctx.peek();
  if (next == nullptr) return nullptr;
  if (next->kind.is_eof() || insert_cond(*next)) return std::make_unique<Pattern>(pattern_expected(pos));
  return nullptr;
}
template <typename InsertCond>
std::optional<Pattern> pattern_or_insert(ParserContext& ctx, bool rebind, InsertCond insert_cond) {
  PatBox p = pattern_or_insert_box(ctx, rebind, insert_cond);
  if (!p) return std::nullopt;
  return std::move(*p);
}

}  // namespace vaxo_core::parser::patterns

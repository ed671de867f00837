// ParserContext: the input every grammar rule reads, plus the bounds of one parse.
//
// It is the toolkit's ParserInput (a frozen token list and a position), so the
// combinators of core/lexer/combinator.h run on it directly, extended with a
// pointer to the ParserState shared by every input of one parse: the script's
// token list and the token list of each interpolation parsed inside it.
//
// Bounds (untrusted text must never crash the host):
// - Recursion: every rule that a recursive cycle of the grammar passes
//   through enters `ctx.enter()` first. Past the nesting budget, or when the
//   native stack is nearly used up, it throws ParseAborted.
// - Tree height: folds that build a taller node without recursing (infix and
//   suffix chains, `or`/`and` patterns) call `ctx.check_height(node.height)`
//   for each node they build. Past the bound it throws ParseAborted. Every
//   later pass over the tree (walker, dump, destructor, emitter) recurses
//   once per level, so this is what keeps them bounded. A node's height
//   counts the levels of stack its passes take (TreeCost). The bound is the
//   smaller of kMaxTreeHeight and what the thread's remaining stack allows
//   (ParserState measures it when it is made).
//
// ParseAborted is not a parse failure: no combinator (alt, opt, repeat, not_,
// peek) may catch it, retry or fall back. It ends the parse as a whole; only
// the parser's entry catches it and reports that there is no result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <unordered_set>
#include <vector>

#include "core/base/nesting_budget.h"
#include "core/lexer/input.h"
#include "core/lexer/token.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VAXO_HAS_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef VAXO_HAS_ADDRESS_SANITIZER
#define VAXO_HAS_ADDRESS_SANITIZER 0
#endif

namespace vaxo_core::parser {

namespace memo {
class Scope;
}

// The parse gave up as a whole: nesting or tree height past its bound.
class ParseAborted : public std::exception {
 public:
  const char* what() const noexcept override { return "parse aborted: nesting limit exceeded"; }
};

// What one level of the finished tree costs the passes that recurse over it
// (walker, range, release, emitter): the parser keeps that much stack back
// per level of height, so whatever it accepts on a thread, they finish on
// that thread. A node counts `stack` bytes times its levels; the kinds whose
// passes take more than one level's stack count more. Measured per build
// (stack painted below each pass, nested 100 to 600 deep) over every kind of
// nesting, with a tenth or more to spare; the walk only descends into
// subtrees that hold recovery, so it was measured on those. The dump takes
// more; it serves tests on small trees.
struct TreeCost {
  std::size_t stack;              // bytes per level
  std::uint32_t call_callee;      // a call over its callee (suffix chains)
  std::uint32_t call_arguments;   // a call over its arguments
  std::uint32_t extension;        // an extension call
  std::uint32_t array;            // array literal
  std::uint32_t record;           // record literal
  std::uint32_t index;            // index and slice
  std::uint32_t tagged;           // tagged string
  std::uint32_t if_else;          // if / else
  std::uint32_t for_in;           // for
  std::uint32_t match;            // match
  std::uint32_t array_pattern;    // array pattern
  std::uint32_t record_pattern;   // record pattern
  std::uint32_t unknown;          // what recovery wrapped
};
// Largest measured per level: optimised (also with the profile and link-time
// optimisation) a call over its arguments 864 bytes, a record pattern 736, a
// suffix call 608; unoptimised an array or index 2,448 (the walk), a for over
// an array 2,120 a level, a suffix call 1,408; with the address sanitizer an
// array or index 3,328, a record 3,104, a recovered stretch 3,104, a call
// 2,688, a for over an array 2,816 a level, a sum 1,584.
#if defined(__SANITIZE_ADDRESS__) || VAXO_HAS_ADDRESS_SANITIZER
inline constexpr TreeCost kTreeCost = {1792, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
#elif defined(__OPTIMIZE__)
inline constexpr TreeCost kTreeCost = {704, 1, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1};
#else
inline constexpr TreeCost kTreeCost = {1344, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2};
#endif

// What all inputs of one parse share.
class ParserState {
 public:
  // Guarded rule levels. Each level of source nesting passes through one or
  // a few guarded rules; 1,000 levels of every construct fit well within it.
  // The budget's stack check stops earlier on a small thread stack.
  static constexpr std::size_t kMaxNesting = 8000;
  // Levels of the finished tree. With an 8 MiB stack an optimised build
  // takes chains of 10,000 terms; unoptimised builds take fewer.
  static constexpr std::uint32_t kMaxTreeHeight = 16000;

  explicit ParserState(std::size_t max_nesting = kMaxNesting, std::uint32_t max_height = kMaxTreeHeight);

  NestingBudget& budget() { return budget_; }
  std::uint32_t max_height() const { return max_height_; }

  // Failure memo: (input, position, rule key) triples known to fail. Every
  // rule is a pure function of its input, position and parameters, so a
  // remembered failure is exact.
  bool failed_before(const lexer::Token* input, std::size_t index, std::uint32_t rule_key) const {
    return !failures_.empty() && failures_.contains(Key{input, index, rule_key});
  }
  void remember_failure(const lexer::Token* input, std::size_t index, std::uint32_t rule_key) {
    failures_.insert(Key{input, index, rule_key});
  }

  // The flat memo and work bound of the parse running with this state
  // (failure_memo.h), if any.
  memo::Scope* memo_scope() const { return memo_scope_; }
  void set_memo_scope(memo::Scope* scope) { memo_scope_ = scope; }

 private:
  struct Key {
    const lexer::Token* input;
    std::size_t index;
    std::uint32_t rule_key;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const {
      std::size_t h = reinterpret_cast<std::uintptr_t>(k.input);
      h ^= k.index + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
      h ^= k.rule_key + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
      return h;
    }
  };

  NestingBudget budget_;
  std::uint32_t max_height_;
  std::unordered_set<Key, KeyHash> failures_;
  memo::Scope* memo_scope_ = nullptr;
};

// RAII: one guarded level of recursion; throws ParseAborted when refused.
class RecursionGuard {
 public:
  [[gnu::always_inline]] explicit RecursionGuard(NestingBudget& budget) : guard_(budget) {
    if (!guard_.ok()) [[unlikely]] refuse();
  }
  RecursionGuard(const RecursionGuard&) = delete;
  RecursionGuard& operator=(const RecursionGuard&) = delete;

 private:
  [[noreturn, gnu::cold, gnu::noinline]] static void refuse() { throw ParseAborted(); }

  DepthGuard guard_;
};

class ParserContext : public lexer::ParserInput {
 public:
  // The state must outlive the context; the tokens must outlive the tree.
  ParserContext(std::span<const lexer::Token> tokens, ParserState& state)
      : lexer::ParserInput(tokens), state_(&state) {}

  // A fresh input over another token list (an interpolation's), sharing this
  // parse's bounds and memo.
  ParserContext nested(std::span<const lexer::Token> tokens) const { return ParserContext(tokens, *state_); }

  ParserState& state() const { return *state_; }

  // Enters one guarded level of recursion: `auto guard = ctx.enter();`.
  [[nodiscard]] RecursionGuard enter() const { return RecursionGuard(state_->budget()); }

  // Throws ParseAborted when a node of this height would be too tall.
  void check_height(std::uint32_t height) const {
    if (height > state_->max_height()) [[unlikely]] throw ParseAborted();
  }

  // The failure memo at the current position.
  bool failed_before(std::uint32_t rule_key) const {
    return state_->failed_before(tokens.data(), index, rule_key);
  }
  void remember_failure(std::uint32_t rule_key) { state_->remember_failure(tokens.data(), index, rule_key); }

  // The next token without consuming it, or nullptr when none remains.
  const lexer::Token* peek() const { return peek_token(); }
  // Consumes the next token; nullptr (nothing consumed) when none remains.
  const lexer::Token* next() { return index < tokens.size() ? &tokens[index++] : nullptr; }

 private:
  ParserState* state_;
};

}  // namespace vaxo_core::parser

// The failure memo of the expression, statement and block rules, and what
// keeps successes from being read again in new roles: expression levels that
// remember where they are bound to fail (Level), and the primaries a failed
// rule read, kept for the next rule that reads one there (keep, take_kept).
//
// A rule tried again at a position where it failed before fails at once: every
// rule is a pure function of its input, its position and its parameters. The
// parse's own ParserState keeps such failures in a hash set; while
// `parser::parse` runs, a flat table of one byte per token of the script's
// list answers for the script (the hot case) without hashing, and the token
// lists of an interpolated string get such tables too, one block per string
// found by the string token's address when the string is parsed. Rules run
// outside `parse`, and rules that have no bit, use the hash set. The tables
// live as long as the parse, so a rule retried on a nested list still finds
// its failures.
//
// The tables stand beside the finished tree at the parse's peak, hence a byte
// per token: the rules that fail often have a bit of it each, the others share
// one that sends them to words in pages made on first use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/lexer/keyword.h"
#include "core/lexer/operator.h"
#include "core/parser/ast.h"
#include "core/parser/basic_expressions.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::memo {

// One bit per remembered rule: the operator loop's slots from 0, one per
// minimum binding strength (Attempt), then the others.
enum class Rule : std::uint8_t {
  OperatorLoop = 0,
  // A suffix chain read from here, in the content of an index or slice
  // bracket, leaves the bracket without a form. In the room the operator
  // loop's slots leave.
  ChainFailsBracket = 19,
  IfExpression = 20,
  WhileExpression,
  ForInExpression,
  MatchExpression,
  FnExpression,
  JsonExpression,
  Statement,
  BracketSuffix,
  // A suffix chain read from here, followed by the operator loop of a whole
  // expression (minimum 0) or of a slice bound, fails.
  ChainFailsWhole,
  ChainFailsBound,
  ChainFailsRange,  // the same with a range position (minimum 0)
  Kept,             // a primary was kept here (keep): the only lookups that hash
};
static_assert(static_cast<int>(Rule::Kept) < 32, "one 32-bit word per position");

namespace detail {
// The operator loop's slot for each minimum it runs with, or -1: 0 (whole
// expressions), the slice bound's, and each operator's and keyword's value,
// lowered by one for a right-associative one (its right operand's). The
// slot after the last is the range position's (minimum 0).
struct PrattSlots {
  std::array<int, 256> of;
  int count;
};
inline constexpr PrattSlots kPrattSlots = [] {
  PrattSlots s{};
  for (int& slot : s.of) slot = -1;
  const auto add = [&s](int min) {
    if (s.of[static_cast<std::size_t>(min)] < 0) s.of[static_cast<std::size_t>(min)] = s.count++;
  };
  const auto add_entry = [&add](basic_expressions::PrecedenceResult p) {
    if (p.value == 0) return;
    add(p.value);
    if (p.right_associative) add(p.value - 1);
  };
  add(0);
  add(basic_expressions::kSliceBound.value);
  for (std::size_t i = 0; i < lexer::kOperatorCount; ++i) {
    add_entry(basic_expressions::precedence_of(static_cast<lexer::Operator>(i)));
  }
  for (std::size_t i = 0; i < lexer::kKeywordCount; ++i) {
    add_entry(basic_expressions::precedence_of(static_cast<lexer::Keyword>(i)));
  }
  return s;
}();
inline constexpr int kRangeSlot = kPrattSlots.count;
static_assert(static_cast<int>(Rule::OperatorLoop) + kRangeSlot < static_cast<int>(Rule::ChainFailsBracket),
              "the operator loop's slots fit below the other rules");

// The loop after a range operator (minimum the range operators' value)
// takes what a slice bound's takes when no operator binds in between.
inline constexpr std::uint8_t kRangeValue = basic_expressions::precedence_of(lexer::Operator::SpreadRange).value;
inline constexpr bool kNothingBindsBelowSliceBound = [] {
  if (basic_expressions::precedence_of(lexer::Operator::HalfOpenRange).value != kRangeValue) return false;
  const auto between = [](basic_expressions::PrecedenceResult p) {
    return kRangeValue < p.value && p.value <= basic_expressions::kSliceBound.value;
  };
  for (std::size_t i = 0; i < lexer::kOperatorCount; ++i) {
    if (between(basic_expressions::precedence_of(static_cast<lexer::Operator>(i)))) return false;
  }
  for (std::size_t i = 0; i < lexer::kKeywordCount; ++i) {
    if (between(basic_expressions::precedence_of(static_cast<lexer::Keyword>(i)))) return false;
  }
  return true;
}();
static_assert(kNothingBindsBelowSliceBound, "a slice bound shares its chain bit with a range's right side");
}  // namespace detail

// A rule tried at a position: a named rule, or the operator loop with its
// minimum and whether it reads a range position. Both its bit in the flat
// table and its key in the hash set follow from it.
struct Attempt {
  Rule rule;
  std::uint8_t min = 0;
  bool range = false;

  constexpr Attempt(Rule r) : rule(r) {}  // NOLINT: implicit, a named rule is an attempt
  constexpr Attempt(Rule r, std::uint8_t m, bool in_range) : rule(r), min(m), range(in_range) {}

  // The bit, or -1 for a minimum the flat table has no slot for (the hash
  // set only).
  [[gnu::always_inline]] constexpr int bit() const {
    if (rule != Rule::OperatorLoop) return static_cast<int>(rule);
    if (range) return min == 0 ? static_cast<int>(Rule::OperatorLoop) + detail::kRangeSlot : -1;
    const int slot = detail::kPrattSlots.of[min];
    return slot < 0 ? -1 : static_cast<int>(Rule::OperatorLoop) + slot;
  }
  constexpr std::uint32_t key() const {
    return (std::uint32_t{static_cast<std::uint8_t>(rule)} << 9) | (std::uint32_t{min} << 1) | (range ? 1u : 0u);
  }
};

inline constexpr Attempt operator_loop(std::uint8_t min, bool range) { return {Rule::OperatorLoop, min, range}; }

namespace detail {
// A rule's bit in a position's byte, or -1 for the rules that share kOverflow.
inline constexpr std::uint8_t kOverflow = 0x80;
inline constexpr std::array<std::int8_t, 32> kOwnBit = [] {
  std::array<std::int8_t, 32> own{};
  for (auto& b : own) b = -1;
  std::int8_t next = 0;
  for (int bit : {static_cast<int>(Rule::Statement), operator_loop(0, false).bit(), operator_loop(0, true).bit(),
                  static_cast<int>(Rule::IfExpression), static_cast<int>(Rule::BracketSuffix),
                  static_cast<int>(Rule::JsonExpression), static_cast<int>(Rule::FnExpression)}) {
    own[bit] = next++;
  }
  return own;
}();

// One byte per position; kOverflow's rules in words, 64 positions a page.
class Table {
 public:
  Table() = default;
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;
  // To `size` positions, the new ones clear.
  void grow(std::size_t size);
  std::size_t size() const { return size_; }

  [[gnu::always_inline]] bool failed(std::size_t at, int bit) const {
    const std::uint8_t b = own_[at];
    if (kOwnBit[bit] >= 0) return (b >> kOwnBit[bit]) & 1u;
    return (b & kOverflow) != 0 && overflow_failed(at, bit);
  }
  [[gnu::always_inline]] void remember(std::size_t at, int bit) {
    if (kOwnBit[bit] >= 0) {
      own_[at] |= static_cast<std::uint8_t>(1u << kOwnBit[bit]);
    } else {
      remember_overflow(at, bit);
    }
  }

 private:
  static constexpr std::size_t kPageShift = 6;
  bool overflow_failed(std::size_t at, int bit) const;
  void remember_overflow(std::size_t at, int bit);

  // A short script's table sits in place: no allocation, and nothing kept
  // for the next parse.
  static constexpr std::size_t kInPlace = 256;
  std::uint8_t* own_ = in_place_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kInPlace;
  std::unique_ptr<std::uint8_t[]> heap_;
  std::uint8_t in_place_[kInPlace];
  std::vector<std::unique_ptr<std::uint32_t[]>> pages_;  // null until a rule of its positions fails
};
}  // namespace detail

[[gnu::always_inline]] inline bool failed(const ParserContext& ctx, Attempt attempt);
[[gnu::always_inline]] inline void remember(ParserContext& ctx, Attempt attempt);

// The stop sets that `next_stop` finds.
enum class StopSet : std::uint8_t {
  Expression,  // where an Unknown expression stretch ends (expressions::is_expression_stop)
  Rebind,      // `=` and the tokens no pattern ever takes: where a rebind target must end
};

// The index of the first token at or after the context's position that is
// in `set`, or the list's size when there is none. Repeated questions inside
// one stretch are answered from the last scan.
std::size_t next_stop(const ParserContext& ctx, StopSet set);

// The work bound: every operator-loop and statement attempt of a parse is
// charged one unit. The memo keeps ordinary input far below the allowance
// (under one unit per token); input crafted to make enclosing attempts read
// the same successful stretch again is stopped by it: past the allowance the
// parse gives up as a whole (ParseAborted), like past the nesting bound.
inline constexpr std::size_t kWorkPerToken = 64;
inline constexpr std::size_t kWorkBase = 1 << 14;
inline void charge(const ParserContext& ctx);
// Widens the allowance for a token list parsed on its own (an interpolation).
void grant(const ParserContext& ctx, std::size_t tokens);

// An expression level: the reading of one whole expression or slice bound,
// its right operands and prefix operands included, up to the end of its
// operator loop (the operands' brackets and blocks are levels of their own).
//
// Why: an operand read as the right side of an operator that turns out to
// have no right side of its own would be read again in full by every
// enclosing attempt. Every loop of a level has a minimum at least the
// level's, so whether the level fails after a suffix chain depends only on
// where the chain starts: the operator loop from the chain's end makes the
// same right-operand calls whichever loop of the level meets it. So when a
// level fails, each position its suffix chains reached after a suffix with
// a reading inside (arguments, brackets) is remembered; a level that reaches
// such a position again fails there, before building the rest of the chain. Only the levels whose minimum has a rule bit take
// part; every other expression entry opens an inactive level, which keeps
// its operands out of the enclosing one.
class Level {
 public:
  // No level at all (a right or prefix operand), and a level taking no part.
  static constexpr int kNone = -1;
  // The content of an index or slice bracket: its bound and the operator
  // loop after it, up to its `]`.
  static constexpr int kBracket = 256;
  // The level of an operator loop with minimum `min` (in a range position
  // with `range`), or kNone or kBracket.
  [[gnu::always_inline]] Level(const ParserContext& ctx, int min, bool range = false);
  ~Level();
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;
  // The level's reading failed, doomed or not: its chain positions fail.
  void failed();

 private:
  Scope* scope_;
  detail::Table* saved_table_ = nullptr;
  std::size_t base_ = 0;
  std::int8_t saved_bit_ = -1;
  bool saved_range_met_ = false;
};

// A range operator was taken in the current level. A range position ends its
// loop at the first one where the level's other loops read it as an
// addition, so a range level (and a bracket's content, a range position too)
// that took one remembers nothing when it fails.
inline void met_range(const ParserContext& ctx);

// At a position where a suffix chain of the current level continues or
// ends: true, dooming the level, when the level is known to fail from here.
[[gnu::always_inline]] inline bool chain_fails(const ParserContext& ctx);
// The current level is doomed: every rule between the chain and the level's
// entry fails without remembering it, since only the level's reading fails.
[[gnu::always_inline]] inline bool doomed(const ParserContext& ctx);

// Primary forms read by a rule that then failed, kept for the next rule that
// reads a primary at the same place: a bracketed operand, block or
// block-like form read as the right side of an operator that has none is
// read again as an operand or a statement of its own, and each such read
// would repeat everything inside it. A primary is a pure function of its
// position, so the kept node is exactly what the rule would build; it is
// handed over, and a rule that drops it again keeps it again. `dropped` is
// taken apart down to its primaries (through operators, prefixes, suffix
// chains and the arguments and bounds of calls, indexes and slices), of
// which those of 16 tokens or more are kept; everything else is freed.
void keep(const ParserContext& ctx, std::unique_ptr<Expression> dropped);
// The primary kept at the context's position, consumed, or null. With
// `statement`, only a block or block-like form is taken (what a statement
// starting there reads; a JSON literal or a grouping is left).
[[gnu::always_inline]] inline std::unique_ptr<Expression> take_kept(ParserContext& ctx, bool statement = false);

// While it lives, the token lists of the interpolations of `string` use the
// string's tables: `next` before parsing each list, in order, every list
// included (`lists` of them, `tokens` tokens in all). Strings nest.
class StringTables {
 public:
  StringTables(const ParserContext& ctx, const lexer::Token& string, std::size_t lists, std::size_t tokens);
  ~StringTables();
  StringTables(const StringTables&) = delete;
  StringTables& operator=(const StringTables&) = delete;
  void next(std::span<const lexer::Token> tokens);

 private:
  Scope* scope_;
  std::size_t offset_ = 0;
  const lexer::Token* saved_list_ = nullptr;
  std::size_t saved_size_ = 0;
  std::size_t saved_offset_ = 0;
};

// Makes the flat table available for `tokens` parsed with `state` while it
// lives. Scopes nest.
class Scope {
 public:
  Scope(ParserState& state, std::span<const lexer::Token> tokens);
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  friend bool failed(const ParserContext&, Attempt);
  friend void remember(ParserContext&, Attempt);
  friend std::size_t next_stop(const ParserContext&, StopSet);
  friend void charge(const ParserContext&);
  friend void grant(const ParserContext&, std::size_t);
  friend bool chain_fails(const ParserContext&);
  friend bool doomed(const ParserContext&);
  friend void met_range(const ParserContext&);
  friend class StringTables;
  friend class Level;
  friend void keep(const ParserContext&, std::unique_ptr<Expression>);
  friend std::unique_ptr<Expression> take_kept(ParserContext&, bool);

  struct LastScan {
    std::size_t from = 1;  // empty until the first scan
    std::size_t stop = 0;
  };

  // The table for this context's position and the position's place in it,
  // or a null table when it has none.
  struct Place {
    detail::Table* table;
    std::size_t at;
  };
  [[gnu::always_inline]] static Place place(const ParserContext& ctx) {
    Scope* s = ctx.state().memo_scope();
    if (s == nullptr) return {nullptr, 0};
    if (s->tokens_ == ctx.tokens.data()) return {&s->bits_, ctx.index};
    if (s->last_nested_ == ctx.tokens.data() && s->last_nested_ != nullptr &&
        s->last_nested_size_ == ctx.tokens.size()) {
      return {&s->nested_bits_, s->last_offset_ + ctx.index};
    }
    return {nullptr, 0};
  }

  // A kept primary: its list and position, where it ends, and the node
  // (owned; a taken entry keeps its slot with a null node).
  struct Kept {
    const lexer::Token* list = nullptr;
    std::size_t at = 0;
    std::size_t end = 0;
    Expression* node = nullptr;
  };
  Kept* kept_slot(const lexer::Token* list, std::size_t at);
  void put_kept(const lexer::Token* list, std::size_t at, std::size_t end, std::unique_ptr<Expression> node);
  std::unique_ptr<Expression> take_kept_at(ParserContext& ctx, bool statement);

  // Where the block of `words` entries of this string starts, made on first use.
  std::size_t string_block(const lexer::Token* string, std::size_t words);
  // Rebuilds the slots with room for `count` strings at most half full.
  void rehash_nested(std::size_t count);

  // Open addressing by string token address: a slot per interpolated string
  // met, no node per string.
  struct NestedSlot {
    const lexer::Token* string = nullptr;
    std::size_t words = 0;
    std::size_t offset = 0;
  };

  ParserState* state_;
  const lexer::Token* tokens_;
  detail::Table bits_;  // one entry per position, the end included
  LastScan scans_[2];
  std::size_t work_ = 0;
  std::size_t allowance_;
  Scope* outer_;
  detail::Table nested_bits_;  // the strings' blocks, one after another
  std::vector<NestedSlot> nested_slots_;    // a power of two, at most half full, or empty
  std::size_t nested_count_ = 0;
  // The list being parsed and its table (set by StringTables).
  const lexer::Token* last_nested_ = nullptr;
  std::size_t last_nested_size_ = 0;
  std::size_t last_offset_ = 0;
  // The current expression level (Level): its table and bit, or bit -1
  // when it takes no part; the chain positions of the open levels, in order.
  detail::Table* level_table_ = nullptr;
  std::int8_t level_bit_ = -1;
  bool doomed_ = false;
  bool range_met_ = false;
  std::vector<std::uint32_t> chain_marks_;
  // Kept primaries: open addressing by list and position, a power of two at
  // most half full, or empty.
  std::vector<Kept> kept_;
  std::size_t kept_slots_used_ = 0;
  std::size_t kept_live_ = 0;
  std::vector<std::unique_ptr<Expression>> keep_pending_;  // keep()'s work list, empty between calls
};

inline bool failed(const ParserContext& ctx, Attempt attempt) {
  if (const int bit = attempt.bit(); bit >= 0) {
    if (const Scope::Place p = Scope::place(ctx); p.table != nullptr) return p.table->failed(p.at, bit);
  }
  return ctx.failed_before(attempt.key());
}

inline void remember(ParserContext& ctx, Attempt attempt) {
  if (const int bit = attempt.bit(); bit >= 0) {
    if (const Scope::Place p = Scope::place(ctx); p.table != nullptr) {
      p.table->remember(p.at, bit);
      return;
    }
  }
  ctx.remember_failure(attempt.key());
}

inline Level::Level(const ParserContext& ctx, int min, bool range)
    : scope_(min != kNone ? ctx.state().memo_scope() : nullptr) {
  if (scope_ == nullptr) return;
  saved_table_ = scope_->level_table_;
  saved_bit_ = scope_->level_bit_;
  saved_range_met_ = scope_->range_met_;
  base_ = scope_->chain_marks_.size();
  const Scope::Place p = Scope::place(ctx);
  int bit = -1;
  if (min == 0) bit = static_cast<int>(range ? Rule::ChainFailsRange : Rule::ChainFailsWhole);
  if (min == kBracket) bit = static_cast<int>(Rule::ChainFailsBracket);
  // A range's right side reads as a slice bound does (kNothingBindsBelowSliceBound).
  if ((min == detail::kRangeValue || min == basic_expressions::kSliceBound.value) && !range) {
    bit = static_cast<int>(Rule::ChainFailsBound);
  }
  scope_->level_table_ = p.table;
  scope_->level_bit_ = static_cast<std::int8_t>(p.table != nullptr ? bit : -1);
  scope_->range_met_ = false;
}

[[gnu::always_inline]] inline Level::~Level() {
  if (scope_ == nullptr) return;
  scope_->chain_marks_.erase(scope_->chain_marks_.begin() + static_cast<std::ptrdiff_t>(base_),
                             scope_->chain_marks_.end());
  scope_->level_table_ = saved_table_;
  scope_->level_bit_ = saved_bit_;
  scope_->range_met_ = saved_range_met_;
}

inline void met_range(const ParserContext& ctx) {
  if (Scope* s = ctx.state().memo_scope()) s->range_met_ = true;
}

inline bool chain_fails(const ParserContext& ctx) {
  Scope* s = ctx.state().memo_scope();
  if (s == nullptr || s->level_bit_ < 0) return false;
  const Scope::Place p = Scope::place(ctx);
  if (p.table != s->level_table_) return false;
  s->chain_marks_.push_back(static_cast<std::uint32_t>(p.at));
  if (!p.table->failed(p.at, s->level_bit_)) [[likely]] return false;
  s->doomed_ = true;
  return true;
}

inline std::unique_ptr<Expression> take_kept(ParserContext& ctx, bool statement) {
  Scope* s = ctx.state().memo_scope();
  if (s == nullptr || s->kept_live_ == 0) [[likely]] return nullptr;
  return s->take_kept_at(ctx, statement);
}

inline bool doomed(const ParserContext& ctx) {
  Scope* s = ctx.state().memo_scope();
  return s != nullptr && s->doomed_;
}

inline void charge(const ParserContext& ctx) {
  Scope* s = ctx.state().memo_scope();
  if (s == nullptr) return;
  if (++s->work_ > s->allowance_) [[unlikely]] throw ParseAborted();
}

}  // namespace vaxo_core::parser::memo

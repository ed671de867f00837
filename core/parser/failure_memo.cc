#include "core/parser/failure_memo.h"

#include <array>

namespace vaxo_core::parser::memo {
namespace {

thread_local Scope* g_current = nullptr;

// The minimums the operator loop runs with: 0 (whole expressions), 142
// (slice bounds), and each operator's value or lowered value for a right-
// associative one.
constexpr std::array<int, 256> kPrattSlots = [] {
  std::array<int, 256> slots{};
  for (int& s : slots) s = -1;
  int next = 0;
  for (int min : {0, 142, 170, 190, 199, 29, 50, 60, 70, 90, 100, 120, 140, 180, 200, 30}) slots[min] = next++;
  return slots;
}();
constexpr int kRangeSlot = 16;

}  // namespace

int pratt_slot(std::uint8_t min, bool allow_range) {
  if (allow_range) return min == 0 ? kRangeSlot : -1;
  return kPrattSlots[min];
}

Scope::Scope(const ParserState& state, std::span<const lexer::Token> tokens)
    : state_(&state), tokens_(tokens.data()), bits_(tokens.size() + 1, 0), outer_(g_current) {
  g_current = this;
}

Scope::~Scope() { g_current = outer_; }

bool failed(const ParserContext& ctx, std::uint32_t key, int bit) {
  Scope* s = g_current;
  if (bit >= 0 && s != nullptr && s->state_ == &ctx.state() && s->tokens_ == ctx.tokens.data()) {
    return (s->bits_[ctx.index] >> bit) & 1u;
  }
  return ctx.failed_before(key);
}

void remember(ParserContext& ctx, std::uint32_t key, int bit) {
  Scope* s = g_current;
  if (bit >= 0 && s != nullptr && s->state_ == &ctx.state() && s->tokens_ == ctx.tokens.data()) {
    s->bits_[ctx.index] |= std::uint64_t{1} << bit;
    return;
  }
  ctx.remember_failure(key);
}

}  // namespace vaxo_core::parser::memo

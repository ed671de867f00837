#include "core/parser/parser_context.h"

#include <algorithm>
#include <bit>

namespace vaxo_core::parser {

ParserState::ParserState(std::size_t max_nesting, std::uint32_t max_height)
    : budget_(max_nesting), max_height_(max_height) {
  // The passes over the finished tree run on this thread from about this
  // depth, down to the floor the parse's own recursion stops at: the stack
  // in between is theirs. What their first frames take comes out of the
  // reserve below the floor (the emitter's backstop stops lower).
  std::uintptr_t floor = stack_floor(NestingBudget::kStackReserve);
  std::uintptr_t here = stack_pointer();
  if (floor != 0) {
    std::size_t levels = here > floor ? (here - floor) / kTreeCost.stack : 0;
    // Kept to five significant bits: the stack pointer moves by a few dozen
    // bytes from run to run (address-space layout, environment size), and
    // where an over-tall text stops must not move with it.
    if (levels >= 32) {
      int shift = std::bit_width(levels) - 5;
      levels = levels >> shift << shift;
    }
    if (levels < max_height_) max_height_ = static_cast<std::uint32_t>(std::max<std::size_t>(levels, 1));
  }
}

}  // namespace vaxo_core::parser

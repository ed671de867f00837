#include "core/parser/parser_context.h"

#include <pthread.h>

#include <algorithm>
#include <bit>

namespace vaxo_core::parser {
namespace {

// The lowest address of the calling thread's stack, or 0 when the platform
// cannot tell (then only the fixed bounds apply).
std::uintptr_t stack_low_end() {
  thread_local const std::uintptr_t low = [] {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return std::uintptr_t{0};
    void* addr = nullptr;
    std::size_t size = 0;
    int rc = pthread_attr_getstack(&attr, &addr, &size);
    pthread_attr_destroy(&attr);
    if (rc != 0) return std::uintptr_t{0};
    return reinterpret_cast<std::uintptr_t>(addr);
  }();
  return low;
}

}  // namespace

ParserState::ParserState(std::size_t max_nesting, std::uint32_t max_height)
    : budget_(max_nesting), max_height_(max_height) {
  // The passes over the finished tree run on this thread from about this
  // depth: give them the stack that is left.
  std::uintptr_t low = stack_low_end();
  auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  if (low != 0 && here > low) {
    std::size_t left = here - low;
    std::size_t reserve = std::min<std::size_t>(NestingBudget::kStackReserve, left / 2);
    std::size_t levels = (left - reserve) / kStackPerTreeLevel;
    // Kept to five significant bits: the frame address moves by a few dozen
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

// NestingBudget and DepthGuard: bound the recursion of one compilation, and
// the query of the calling thread's stack that every stage shares.
//
// Untrusted text must never overflow the native stack. Every recursive rule
// enters a DepthGuard; past the depth limit, or when the stack is nearly used
// up (a thread with a small stack), the guard reports exhaustion and the stage
// gives up as a whole instead of recursing further.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vaxo_core {

// The stack pointer, not a local's address: sanitizers may move locals off
// the stack. Read directly where we can: the frame address would make every
// function that enters a level keep a frame pointer. Volatile: read where
// it is asked for, never moved or merged with another read.
[[gnu::always_inline]] inline std::uintptr_t stack_pointer() {
  std::uintptr_t sp;
#if defined(__x86_64__)
  asm volatile("mov %%rsp, %0" : "=r"(sp));
#elif defined(__aarch64__)
  asm volatile("mov %0, sp" : "=r"(sp));
#else
  sp = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
#endif
  return sp;
}

// The lowest address the calling thread may recurse down to while keeping
// `reserve` bytes, but never more than half its stack, above the stack's low
// end (stacks grow down on every platform we build for). 0 when the platform
// cannot tell: then only the depth limits apply.
std::uintptr_t stack_floor(std::size_t reserve);

class NestingBudget {
 public:
  // Enough for 1,000 nested levels of every construct (each level may pass
  // through several guarded rules) on an 8 MiB stack.
  static constexpr std::size_t kDefaultMaxDepth = 20000;
  // Stop this far above the stack's low end: room for the non-recursive work
  // done at the deepest level and for the unwinding.
  static constexpr std::size_t kStackReserve = 128 * 1024;

  explicit NestingBudget(std::size_t max_depth = kDefaultMaxDepth, std::size_t stack_reserve = kStackReserve)
      : max_depth_(max_depth), stack_floor_(stack_floor(stack_reserve)) {}

  // Enters one level; false (and nothing entered) when the budget is spent.
  bool enter() {
    if (depth_ >= max_depth_ || stack_pointer() < stack_floor_) {
      exhausted_ = true;
      return false;
    }
    ++depth_;
    return true;
  }
  void leave() { --depth_; }

  std::size_t depth() const { return depth_; }
  // True once any enter() was refused; stays true.
  bool exhausted() const { return exhausted_; }

 private:
  std::size_t depth_ = 0;
  std::size_t max_depth_;
  std::uintptr_t stack_floor_;
  bool exhausted_ = false;
};

// RAII: enters on construction, leaves on destruction when it entered.
class DepthGuard {
 public:
  explicit DepthGuard(NestingBudget& budget) : budget_(budget), ok_(budget.enter()) {}
  ~DepthGuard() {
    if (ok_) budget_.leave();
  }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }

 private:
  NestingBudget& budget_;
  bool ok_;
};

}  // namespace vaxo_core

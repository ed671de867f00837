// Register frames. A Closure is the register space of one function block or
// one loop block; its registers are handed out from 1 in order and never
// reused. Closures is the stack of entered frames, innermost
// last; a frame's level is its 1-based position in the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "core/diagnostic/internal_error.h"
#include "core/emitter/opcode.h"

namespace vaxo_core::emitter {

class Closure {
 public:
  // Parameters occupy registers 1..arg_len.
  Closure(bool late_binding, std::size_t arg_len) : reg_len_(arg_len), late_binding_(late_binding) {}

  Register add_reg() {
    // A count never wraps to 0: only the 32-bit limit needs a test.
    if (reg_len_ >= std::numeric_limits<std::uint32_t>::max()) [[unlikely]] return Register::make(reg_len_ + 1);
    return Register::after(static_cast<std::uint32_t>(reg_len_++));
  }
  std::size_t reg_len() const { return reg_len_; }
  // True for a function frame: it runs later, so it may read a variable of
  // an outer frame before that variable is initialised.
  bool late_binding() const { return late_binding_; }

 private:
  std::size_t reg_len_;
  bool late_binding_;
};

class Closures {
 public:
  // Take and give back the thread's spare frame stack (spare.h).
  Closures();
  ~Closures();
  Closures(const Closures&) = delete;
  Closures& operator=(const Closures&) = delete;

  void enter(bool late_binding, std::size_t arg_len) { frames_.emplace_back(late_binding, arg_len); }
  void exit() {
    if (!frames_.empty()) frames_.pop_back();
  }

  Closure& current() {
    if (frames_.empty()) throw InternalError("No register frame entered");
    return frames_.back();
  }
  Register add_reg() { return current().add_reg(); }

  // A register of the frame at `level` (1-based), even when inner frames are
  // entered; register 0 when that frame is not entered yet (a `for` scope is
  // declared before its loop frame).
  Register add_variable_reg(std::size_t level) {
    if (level == 0) throw InternalError("Variable level 0 has no frame");
    if (level > frames_.size()) return Register();
    return frames_[level - 1].add_reg();
  }

  std::size_t size() const { return frames_.size(); }
  const std::vector<Closure>& frames() const { return frames_; }
  std::vector<Closure>& frames() { return frames_; }

 private:
  std::vector<Closure> frames_;
};

}  // namespace vaxo_core::emitter

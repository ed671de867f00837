// The operations whose code is not written yet: operators and control flow,
// statements, patterns and the declaration pass. Each one ends the
// compilation with an internal error naming the construct. Whoever writes
// one removes its definition here and adds it in a file of its own.

#include <string>

#include "core/emitter/emitter.h"

namespace vaxo_core::emitter {

namespace {

[[noreturn]] void not_yet(const char* construct) {
  throw InternalError(std::string("not yet emitted: ") + construct);
}

}  // namespace

void Emitter::emit_arm(const Expression&, const Expression::Prefix&, Register, Brk) { not_yet("prefix operator"); }
void Emitter::emit_arm(const Expression&, const Expression::Infix&, Register, Brk) { not_yet("infix operator"); }
void Emitter::emit_arm(const Expression&, const Expression::Is&, Register, Brk) { not_yet("is expression"); }
void Emitter::emit_arm(const Expression&, const Expression::Loop&, Register, Brk) { not_yet("loop"); }
void Emitter::emit_arm(const Expression&, const Expression::While&, Register, Brk) { not_yet("while loop"); }
void Emitter::emit_arm(const Expression&, const Expression::ForIn&, Register, Brk) { not_yet("for loop"); }
void Emitter::emit_arm(const Expression&, const Expression::If&, Register, Brk) { not_yet("if expression"); }
void Emitter::emit_arm(const Expression&, const Expression::Cond&, Register, Brk) { not_yet("conditional"); }
void Emitter::emit_arm(const Expression&, const Expression::Match&, Register, Brk) { not_yet("match"); }

bool Emitter::emit_statement(const Statement&, Brk) { not_yet("statement"); }
void Emitter::declare_statement(const Statement&) { not_yet("statement declaration"); }
void Emitter::declare_expression(const Expression&) { not_yet("declaration pass"); }
void Emitter::emit_pattern(Register, const Pattern&, Register, std::optional<BindType>) { not_yet("pattern"); }
void Emitter::declare_pattern(const Pattern&, std::optional<BindType>) { not_yet("pattern declaration"); }

}  // namespace vaxo_core::emitter

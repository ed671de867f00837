// Expression code for operators and control flow: prefix and infix
// operators (short-circuit ones as conditional blocks), `is`, the three
// loops with their own register frames and result registers, `if`, the
// conditional operator and `match`.

#include <bit>
#include <cstdint>
#include <optional>

#include "core/emitter/emitter.h"
#include "core/emitter/number_bits.h"

namespace vaxo_core::emitter {

namespace {


ByteRange empty_at(std::size_t position) { return ByteRange{position, position}; }

const Expression::Block& body_block(const Expression& body) {
  const auto* block = body.get_if<Expression::Block>();
  if (block == nullptr) throw InternalError("internal error: entered unreachable code: a body that is not a block");
  return *block;
}

}  // namespace

void Emitter::emit_arm(const Expression& whole, const Expression::Prefix& n, Register ret, Brk brk) {
  const Token& op = n.op.get();
  if (std::optional<double> v = number_constant(*n.operand)) {
    if (op == Operator::Plus || op == Operator::Minus) {
      std::uint64_t bits = std::bit_cast<std::uint64_t>(*v);
      if (op == Operator::Minus) bits ^= kSignBit;
      op_const(range(whole), ret, chunk.add_number_bits(bits));
      return;
    }
  }
  Register operand = emit_expression_reg(*n.operand, brk);
  OpCode code;
  if (op == Operator::Plus) {
    code = OpCode::Pos;
  } else if (op == Operator::Minus) {
    code = OpCode::Neg;
  } else if (op == Operator::Exclamation) {
    code = OpCode::Not;
  } else if (op == Keyword::Not) {
    diagnostics.push(DiagnosticCode::PreferLogicalOperatorNot, op.range);
    code = OpCode::Not;
  } else {
    unreachable(n.op, n.operand);
  }
  op_unary(op.range, ret, code, operand);
}

void Emitter::emit_arm(const Expression&, const Expression::Infix& n, Register ret, Brk brk) {
  const Token& op = n.op.get();
  ByteRange at = op.range;

  // The operator or keyword once, then plain comparisons of it.
  const std::optional<Operator> o = operator_of(op.kind);
  const std::optional<Keyword> keyword = o ? std::nullopt : keyword_of(op.kind);
  std::optional<OpCode> short_circuit;
  if (keyword == Keyword::And) {
    diagnostics.push(DiagnosticCode::PreferLogicalOperatorAnd, at);
    short_circuit = OpCode::If;
  } else if (keyword == Keyword::Or) {
    diagnostics.push(DiagnosticCode::PreferLogicalOperatorOr, at);
    short_circuit = OpCode::IfNot;
  } else if (o == Operator::LogicalAnd) {
    short_circuit = OpCode::If;
  } else if (o == Operator::LogicalOr) {
    short_circuit = OpCode::IfNot;
  } else if (o == Operator::NullCoalescing) {
    short_circuit = OpCode::IfNil;
  }
  if (short_circuit) {
    Register r = ret.is_empty() ? closures.add_reg() : ret;
    emit_expression(*n.left, r, brk);
    op_if(at, *short_circuit, r);
    emit_expression(*n.right, r, brk);
    if (*short_circuit != OpCode::IfNil) op_unary(at, r, OpCode::ToBoolean, r);
    op_if_end(at);
    return;
  }

  if (keyword == Keyword::In && is_global_expression(*n.right)) {
    Register left = emit_expression_reg(*n.left, brk);
    op_unary(ByteRange{at.start, range(*n.right).end}, ret, OpCode::InGlobal, left);
    return;
  }

  std::optional<OpCode> code;
  if (keyword == Keyword::In) {
    code = OpCode::In;
  } else if (o) {
    code = to_infix_op(*o);
  }
  Register left = emit_expression_reg(*n.left, brk);
  Register right = emit_expression_reg(*n.right, brk);
  if (!code) {
    // An infix `not` (the only such operator the grammar lets through) has
    // no instruction: both operands are written, the result is nil.
    diagnostics.push(DiagnosticCode::UnexpectedToken, at);
    op_nil(at, ret);
    return;
  }
  op_binary(at, ret, *code, left, right);
}

void Emitter::emit_arm(const Expression&, const Expression::Is& n, Register ret, Brk brk) {
  Register value = emit_expression_reg(*n.expression, brk);
  emit_pattern(ret, *n.pattern, value, BindType::Init);
}

void Emitter::emit_arm(const Expression& whole, const Expression::If& n, Register ret, Brk brk) {
  ByteRange whole_end = range(whole);
  ByteRange keyword = n.if_keyword.range();
  enter_scope(ByteRange{keyword.end, whole_end.end});
  declare_cond_expr(*n.condition);
  Register cond = emit_expression_reg(*n.condition, brk);
  op_if(keyword, OpCode::If, cond);
  emit_expression(*n.then_block, ret, brk);
  if (n.else_block) {
    op_else(n.else_block->else_keyword.range());
    emit_expression(*n.else_block->body, ret, brk);
  } else if (!ret.is_empty()) {
    op_else(keyword);
    op_nil(keyword, ret);
  }
  op_if_end(empty_at(whole_end.end));
  exit_scope();
}

void Emitter::emit_arm(const Expression& whole, const Expression::Cond& n, Register ret, Brk brk) {
  ByteRange at = range(whole);
  enter_scope(at);
  declare_cond_expr(*n.condition);
  // The declaration pass never enters the branches: the names their `is`
  // patterns bind belong to this scope.
  declare_is_names(*n.then_expression);
  declare_is_names(*n.otherwise->else_expression);
  Register cond = emit_expression_reg(*n.condition, brk);
  op_if(n.question.range(), OpCode::If, cond);
  emit_expression(*n.then_expression, ret, brk);
  op_else(n.otherwise->colon.range());
  emit_expression(*n.otherwise->else_expression, ret, brk);
  op_if_end(empty_at(at.end));
  exit_scope();
}

void Emitter::emit_arm(const Expression&, const Expression::Loop& n, Register ret, Brk) {
  const Expression::Block& body = body_block(*n.body);
  ByteRange body_range = range(*n.body);
  closures.enter(false, 0);
  enter_scope(body_range);
  Placeholder header = op_header(n.loop_keyword.range(), OpCode::Loop);
  declare_block(body.statements, body.value.get());
  emit_block(body.statements, body.value.get(), body_range, Register(), ret);
  op(empty_at(body_range.end), OpCode::LoopEnd);
  patch_header(header, OpCode::Loop, {OpParam::from_size(closures.current().reg_len())});
  exit_scope();
  closures.exit();
}

void Emitter::emit_arm(const Expression&, const Expression::While& n, Register ret, Brk) {
  const Expression::Block& body = body_block(*n.body);
  ByteRange body_range = range(*n.body);
  ByteRange keyword = n.while_keyword.range();

  Register result = loop_result(keyword, ret, n.else_block != nullptr, false);
  closures.enter(false, 0);
  enter_scope(ByteRange{keyword.end, body_range.end});
  Register cond = closures.add_reg();
  declare_cond_expr(*n.condition);
  declare_block(body.statements, body.value.get());
  Placeholder header = op_header(keyword, OpCode::Loop);
  emit_expression(*n.condition, cond, result);
  ByteRange cond_range = range(*n.condition);
  op_if(cond_range, OpCode::IfNot, cond);
  op(cond_range, OpCode::Break);
  op_if_end(cond_range);
  emit_block(body.statements, body.value.get(), body_range, Register(), result);
  op(empty_at(body_range.end), OpCode::LoopEnd);
  patch_header(header, OpCode::Loop, {OpParam::from_size(closures.current().reg_len())});
  exit_scope();
  closures.exit();
  loop_else(keyword, result, n.else_block ? n.else_block->body.get() : nullptr);
}

void Emitter::emit_arm(const Expression&, const Expression::ForIn& n, Register ret, Brk) {
  const Expression::Block& body = body_block(*n.body);
  ByteRange body_range = range(*n.body);
  ByteRange keyword = n.for_keyword.range();

  // The pattern's names belong to the loop frame, entered only after the
  // iterable is written in the enclosing one.
  enter_leveled_scope(ByteRange{keyword.end, body_range.end}, closures.size() + 1);
  declare_pattern(*n.source->pattern, BindType::Init);
  const auto* iterated_range = std::get_if<parser::Iterable::Range>(&n.source->iterable->node);
  if (iterated_range != nullptr) {
    declare_expression(*iterated_range->range.start);
    declare_expression(*iterated_range->range.end);
  } else {
    declare_expression(std::get<parser::Iterable::Value>(n.source->iterable->node).value);
  }

  Register first;
  Register second;
  OpCode code = OpCode::LoopFor;
  if (iterated_range != nullptr) {
    first = emit_expression_reg(*iterated_range->range.start, std::nullopt);
    second = emit_expression_reg(*iterated_range->range.end, std::nullopt);
    code = iterated_range->range.exclusive() ? OpCode::LoopRangeExclusive : OpCode::LoopRange;
  } else {
    first = emit_expression_reg(std::get<parser::Iterable::Value>(n.source->iterable->node).value, std::nullopt);
  }

  closures.enter(false, 0);
  Register item = closures.add_reg();
  declare_block(body.statements, body.value.get());
  Register result = loop_result(keyword, ret, n.else_block != nullptr, true);
  Placeholder header = op_header(keyword, code);
  emit_pattern(Register(), *n.source->pattern, item, BindType::Init);
  emit_block(body.statements, body.value.get(), body_range, Register(), result);
  op(empty_at(body_range.end), OpCode::LoopEnd);
  patch_header(header, code, {OpParam::from_size(closures.current().reg_len()), first, second});
  exit_scope();
  closures.exit();
  loop_else(keyword, result, n.else_block ? n.else_block->body.get() : nullptr);
}

Register Emitter::loop_result(ByteRange keyword, Register ret, bool has_else, bool in_loop_frame) {
  if (!ret.is_empty()) {
    op_uninit(keyword, ret);
    return ret;
  }
  if (!has_else) return Register();
  // A register of the frame around the loop body.
  if (!in_loop_frame) return closures.add_reg();
  std::vector<Closure>& frames = closures.frames();
  if (frames.size() < 2) throw InternalError("A loop frame without an enclosing frame");
  return frames[frames.size() - 2].add_reg();
}

void Emitter::loop_else(ByteRange keyword, Register result, const Expression* else_body) {
  if (result.is_empty()) return;
  op_if(keyword, OpCode::IfNotInit, result);
  if (else_body != nullptr) {
    emit_expression(*else_body, result, std::nullopt);
  } else {
    op_nil(keyword, result);
  }
  op_if_end(keyword);
}

void Emitter::emit_arm(const Expression&, const Expression::Match& n, Register ret, Brk brk) {
  ByteRange keyword = n.match_keyword.range();
  // The declaration pass never enters the matched value.
  declare_is_names(*n.value);
  Register value = emit_expression_reg(*n.value, brk);
  Register flag = closures.add_reg();
  op_bool(keyword, flag, false);
  if (!ret.is_empty()) op_nil(keyword, ret);
  if (n.body->cases.empty()) diagnostics.push(DiagnosticCode::MatchExpressionHasNoCases, keyword);

  for (const parser::MatchCase& c : n.body->cases) {
    const Expression::Block& body = body_block(c.body);
    ByteRange body_range = range(c.body);
    ByteRange case_keyword = c.case_keyword.range();
    enter_scope(ByteRange{case_keyword.end, body_range.end});
    declare_pattern(c.pattern, BindType::Init);
    if (c.guard) declare_expression(c.guard->condition);
    declare_block(body.statements, body.value.get());
    op_if(case_keyword, OpCode::IfNot, flag);
    emit_pattern(flag, c.pattern, value, BindType::Init);
    if (c.guard) {
      op_if(c.guard->if_keyword.range(), OpCode::If, flag);
      emit_expression(c.guard->condition, flag, brk);
      op_if_end(empty_at(body_range.start));
    }
    op_if(case_keyword, OpCode::If, flag);
    emit_block(body.statements, body.value.get(), body_range, ret, brk);
    op_if_end(empty_at(body_range.end));
    op_if_end(empty_at(body_range.end));
    exit_scope();
  }
}

}  // namespace vaxo_core::emitter

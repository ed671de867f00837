// Expression code: the dispatch, operand registers, literals, names,
// member access, indexing, slices, interpolated strings, records, arrays,
// and the simple arms (grouping, non-nil, block, function, unknown).

#include <array>
#include <bit>
#include <utility>
#include <variant>
#include <vector>

#include "core/emitter/emitter.h"
#include "core/emitter/number_bits.h"

namespace vaxo_core::emitter {

namespace {


ByteRange empty_at(std::size_t position) { return ByteRange{position, position}; }

[[noreturn]] void expected_identifier() {
  throw InternalError("internal error: entered unreachable code: Expected identifier token");
}

}  // namespace

void Emitter::emit_expression(const Expression& expr, Register ret, Brk brk) {
  EmitDepth depth(budget_);
  std::visit([&](const auto& node) { emit_arm(expr, node, ret, brk); }, expr.node);
}

Register Emitter::emit_expression_reg(const Expression& expr, Brk brk) {
  // Guarded where it recurses: emit_expression guards itself.
  if (const auto* var = expr.get_if<Expression::Variable>()) {
    const Token& token = var->name.get();
    if (const auto id = token.kind.get_if<TokenKind::Identifier>()) {
      // One lookup serves both the in-place operand and the read.
      return variable_reg(token, id->name, scopes.find_variable(id->name));
    }
  } else if (const auto* group = expr.get_if<Expression::Grouping>()) {
    EmitDepth depth(budget_);
    return emit_expression_reg(*group->expression, brk);
  } else if (const auto* literal = expr.get_if<Expression::Literal>()) {
    // A leaf: straight to its arm.
    Register fresh = closures.add_reg();
    emit_arm(expr, *literal, fresh, brk);
    return fresh;
  }
  Register fresh = closures.add_reg();
  emit_expression(expr, fresh, brk);
  return fresh;
}

std::optional<double> Emitter::number_constant(const Expression& expr) {
  const auto* lit = expr.get_if<Expression::Literal>();
  if (lit == nullptr) return std::nullopt;
  const TokenKind& kind = lit->literal->kind;
  if (const auto* n = kind.get_if<TokenKind::Number>()) return n->value;
  if (const auto* o = kind.get_if<TokenKind::Ordinal>()) return static_cast<double>(o->value);
  if (kind == Keyword::Nan) return std::bit_cast<double>(kNanBits);
  if (kind == Keyword::Inf) return std::bit_cast<double>(kInfBits);
  return std::nullopt;
}

bool Emitter::is_global_expression(const Expression& expr) {
  const auto* var = expr.get_if<Expression::Variable>();
  return var != nullptr && var->name.get() == Keyword::Global;
}

std::optional<std::string_view> Emitter::get_var_name(const Token& token) {
  if (std::optional<std::string_view> id = id_name(token.kind)) return id;
  if (token == Keyword::Global) diagnostics.push(DiagnosticCode::MisuseOfGlobalKeyword, token.range);
  return std::nullopt;
}

void Emitter::hint_nil_like(std::string_view name, ByteRange range) {
  for (std::string_view n : kNilLikeNames) {
    if (n == name) {
      diagnostics.push(DiagnosticCode::MisleadingNilVariable, range);
      return;
    }
  }
}

void Emitter::emit_var_read(const Token& token, std::string_view name, const std::optional<FoundVariable>& found,
                            Register ret) {
  if (found) {
    Variable& v = *found->variable;
    v.mark_read(token);
    if (!check_initialized(token, v, found->level)) return;
    std::size_t frame = v.frame(found->level);
    if (frame == closures.size()) {
      op_2(token.range, OpCode::Assign, ret, v.reg());
    } else {
      op_get_upvalue(token.range, ret, closures.size() - frame, v.reg());
    }
    return;
  }
  diagnostics.push(DiagnosticCode::GlobalVariable, token.range);
  op_global(token.range, ret, lexer::CowText(name));
  hint_mislead_nil(name, token.range);
}

Register Emitter::read_into_fresh(const Token& token, std::string_view name,
                                  const std::optional<FoundVariable>& found) {
  Register fresh = closures.add_reg();
  emit_var_read(token, name, found, fresh);
  return fresh;
}

void Emitter::emit_var_read(const Token& token, Register ret) {
  std::optional<std::string_view> name = get_var_name(token);
  if (!name) return;
  emit_var_read(token, *name, scopes.find_variable(*name), ret);
}

void Emitter::emit_arm(const Expression&, const Expression::Literal& n, Register ret, Brk) {
  const Token& token = n.literal.get();
  const TokenKind& kind = token.kind;
  ByteRange at = token.range;
  if (const auto* s = kind.get_if<TokenKind::String>()) return op_string(at, ret, s->value);
  if (const auto* num = kind.get_if<TokenKind::Number>()) return op_number(at, ret, num->value);
  // An ordinal in an expression is a number like any other.
  if (const auto* o = kind.get_if<TokenKind::Ordinal>()) return op_number(at, ret, static_cast<double>(o->value));
  if (kind == Keyword::Nil) return op_nil(at, ret);
  if (kind == Keyword::True) return op_bool(at, ret, true);
  if (kind == Keyword::False) return op_bool(at, ret, false);
  if (kind == Keyword::Nan) return op_const(at, ret, chunk.add_number_bits(kNanBits));
  if (kind == Keyword::Inf) return op_const(at, ret, chunk.add_number_bits(kInfBits));
  unreachable(n.literal, n.literal);
}

void Emitter::emit_arm(const Expression&, const Expression::InterpolatedString& n, Register ret, Brk brk) {
  const Token& token = *n.token;
  const auto* interpolated = token.kind.get_if<TokenKind::InterpolatedString>();
  if (interpolated == nullptr) unreachable(token, token);
  ByteRange at = token.range;
  // The pieces wait on the scratch stacks: a register each, and its format
  // (empty for a text) by the same position. Nested strings push above them
  // and pop back.
  std::size_t base = scratch_regs_.size();
  std::size_t formats_base = scratch_formats_.size();
  struct Pop {
    Emitter& e;
    std::size_t regs;
    std::size_t formats;
    ~Pop() {
      e.scratch_regs_.resize(regs);
      e.scratch_formats_.resize(formats);
    }
  } pop{*this, base, formats_base};
  // Every register up to here was taken before the string: a piece in one
  // of them is a variable read in place.
  const std::size_t owned = closures.current().reg_len();
  const auto& parts = interpolated->parts;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (!parts[i].text.empty()) {
      Register t = closures.add_reg();
      op_string(at, t, parts[i].text);
      scratch_regs_.push_back(t);
      scratch_formats_.push_back({});
    }
    if (i < n.expressions.size()) {
      Register v = emit_expression_reg(n.expressions[i], brk);
      scratch_regs_.push_back(v);
      scratch_formats_.push_back(parts[i].format);
    }
  }
  std::size_t count = scratch_regs_.size() - base;
  if (count == 0) return op_string(at, ret, lexer::CowText(std::string_view()));
  if (count == 1) return op_format(at, ret, scratch_regs_[base], lexer::CowText(scratch_formats_[formats_base]));
  for (std::size_t i = 0; i < count; ++i) {
    std::string_view format = scratch_formats_[formats_base + i];
    if (format.empty()) continue;
    Register& reg = scratch_regs_[base + i];
    // A temporary is formatted in place; a variable keeps its value.
    Register formatted = reg.value() <= owned && !reg.is_empty() ? closures.add_reg() : reg;
    op_format(at, formatted, reg, lexer::CowText(format));
    reg = formatted;
  }
  op_variadic(at, ret, OpCode::Concat, std::span<const Register>(scratch_regs_.data() + base, count));
}

void Emitter::emit_arm(const Expression&, const Expression::Variable& n, Register ret, Brk) {
  emit_var_read(n.name.get(), ret);
}

void Emitter::emit_arm(const Expression&, const Expression::Grouping& n, Register ret, Brk brk) {
  emit_expression(*n.expression, ret, brk);
}

void Emitter::emit_arm(const Expression& whole, const Expression::Record& n, Register ret, Brk brk) {
  using Member = parser::RecordElementBase<Expression, Expression>;
  if (n.open.get() == Operator::OpenBrace && n.close.get() == Operator::CloseBrace) {
    diagnostics.push(DiagnosticCode::PreferParenthesesForRecordLiteral, range(whole));
  }

  // Every value before the record opens, so no other builder interleaves.
  // The values wait on the scratch stack (nested values push above, then pop).
  std::size_t base = scratch_regs_.size();
  auto push = [&](const Expression& e) {
    Register r = emit_expression_reg(e, brk);
    scratch_regs_.push_back(r);
  };
  for (const auto& item : n.elements) {
    if (const auto* named = std::get_if<Member::InterpolateNamed>(&item.element.node)) {
      push(*named->name_expression);
      push(*named->value);
      continue;
    }
    std::visit(
        [&](const auto& member) {
          using M = std::remove_cvref_t<decltype(member)>;
          if constexpr (!std::is_same_v<M, Member::InterpolateNamed>) push(*member.value);
        },
        item.element.node);
  }
  // Nothing below pushes: the values stay put until the record is closed.
  const Register* values = scratch_regs_.data() + base;
  struct Pop {
    std::vector<Register>& stack;
    std::size_t base;
    ~Pop() { stack.resize(base); }
  } pop{scratch_regs_, base};

  op_1(n.open.range(), OpCode::Record, ret);
  std::size_t cursor = 0;
  for (std::size_t i = 0; i < n.elements.size(); ++i) {
    const auto& item = n.elements[i];
    const auto& node = item.element.node;
    // range(item), with the member's kind known here (no second dispatch).
    auto item_range = [&](std::size_t start, const Expression& value) {
      return ByteRange{start, item.comma ? range(*item.comma).end : range(value).end};
    };
    const auto* named = std::get_if<Member::Named>(&node);
    ByteRange at = named != nullptr ? item_range(named->name.range().start, *named->value) : range(item);
    const Token* colon = item.element.colon();
    bool optional = colon != nullptr && *colon == Operator::QuestionColon;
    if (named != nullptr) {
      const Token& name = named->name.get();
      if (const auto* ordinal = name.kind.get_if<TokenKind::Ordinal>()) {
        diagnostics.push(DiagnosticCode::RecordFieldOrdinalName, name.range);
        op_2(at, optional ? OpCode::FieldOptIndex : OpCode::FieldIndex, OpParam(ordinal->value), values[cursor]);
      } else if (const auto id = name.kind.get_if<TokenKind::Identifier>()) {
        // The usual field, a plain name: no FieldName built.
        push_in_category(diagnostics, config.diagnostic_tag, DiagnosticCode::RecordFieldIdName, name.range);
        OpParam k = add_const_string(id->name);
        op_2(at, optional ? OpCode::FieldOpt : OpCode::Field, k, values[cursor]);
      } else {
        std::optional<lexer::FieldName> field = field_name(name.kind);
        if (!field) expected_identifier();
        push_in_category(diagnostics, config.diagnostic_tag, field->code, name.range);
        OpParam k = add_const_string(field->name);
        op_2(at, optional ? OpCode::FieldOpt : OpCode::Field, k, values[cursor]);
      }
      cursor += 1;
    } else if (std::holds_alternative<Member::InterpolateNamed>(node)) {
      op_2(at, optional ? OpCode::FieldOptDyn : OpCode::FieldDyn, values[cursor], values[cursor + 1]);
      cursor += 2;
    } else if (const auto* omit = std::get_if<Member::OmitNamed>(&node)) {
      const Expression& value = *omit->value;
      const Token* key = nullptr;
      if (const auto* var = value.get_if<Expression::Variable>()) {
        key = &var->name.get();
      } else if (const auto* access = value.get_if<Expression::Access>()) {
        key = &access->name.get();
      } else if (const auto* index = value.get_if<Expression::Index>()) {
        if (const auto* lit = index->index->get_if<Expression::Literal>()) key = &lit->literal.get();
      }
      std::optional<lexer::FieldName> field = key ? field_name(key->kind) : std::nullopt;
      if (!field) {
        // The record stays open: the error withholds the chunk anyway.
        ByteRange bad = range(value);
        // A token-less (recovered) value is reported where it would stand.
        if (bad.start > bad.end) bad = empty_at(omit->colon.range().end);
        diagnostics.push(DiagnosticCode::BadOmitKeyRecordExpression, bad);
        return;
      }
      diagnostics.push(DiagnosticCode::OmitNamedRecordField, omit->colon.range());
      diagnostics.push(DiagnosticCode::OmitNamedRecordFieldName, key->range);
      OpParam k = add_const_string(field->name);
      op_2(at, optional ? OpCode::FieldOpt : OpCode::Field, k, values[cursor]);
      cursor += 1;
    } else if (const auto* unnamed = std::get_if<Member::Unnamed>(&node)) {
      op_2(at, optional ? OpCode::FieldOptIndex : OpCode::FieldIndex, OpParam::from_size(i), values[cursor]);
      auto tag = i < 10 ? static_cast<DiagnosticCode>(diagnostic::code(DiagnosticCode::UnnamedRecordField0) + i)
                        : DiagnosticCode::UnnamedRecordFieldN;
      // A token-less value (a recovered operand) has no start: tag at the item.
      ByteRange value_range = range(*unnamed->value);
      std::size_t tag_at = value_range.start <= value_range.end ? value_range.start : at.start;
      if (tag_at > at.end) tag_at = n.open.range().end;
      push_in_category(diagnostics, config.diagnostic_tag, tag, empty_at(tag_at));
      cursor += 1;
    } else {
      op_1(at, OpCode::Spread, values[cursor]);
      cursor += 1;
    }
  }
  op(n.close.range(), OpCode::Freeze);
}

void Emitter::emit_arm(const Expression&, const Expression::Array& n, Register ret, Brk brk) {
  std::size_t base = scratch_regs_.size();
  auto push = [&](const Expression& e) {
    Register r = emit_expression_reg(e, brk);
    scratch_regs_.push_back(r);
  };
  for (const auto& item : n.items) {
    if (const auto* spread = item.element.as_spread()) {
      push(*spread->value);
    } else if (const auto* r = std::get_if<parser::Iterable::Range>(&item.element.as_element()->value->node)) {
      push(*r->range.start);
      push(*r->range.end);
    } else {
      push(std::get<parser::Iterable::Value>(item.element.as_element()->value->node).value);
    }
  }
  // Nothing below pushes: the values stay put until the array is closed.
  const Register* values = scratch_regs_.data() + base;

  op_1(n.open_bracket.range(), OpCode::Array, ret);
  std::size_t cursor = 0;
  for (const auto& item : n.items) {
    ByteRange at = range(item);
    if (item.element.is_spread()) {
      op_1(at, OpCode::Spread, values[cursor++]);
    } else if (const auto* r = std::get_if<parser::Iterable::Range>(&item.element.as_element()->value->node)) {
      op_2(at, r->range.exclusive() ? OpCode::ItemRangeExclusiveDyn : OpCode::ItemRangeDyn, values[cursor],
           values[cursor + 1]);
      cursor += 2;
    } else {
      op_1(at, OpCode::Item, values[cursor++]);
    }
  }
  scratch_regs_.resize(base);
  op(n.close_bracket.range(), OpCode::Freeze);
}

void Emitter::emit_arm(const Expression&, const Expression::Access& n, Register ret, Brk brk) {
  const Token& name = n.name.get();
  ByteRange at = name.range;
  const auto* ordinal = name.kind.get_if<TokenKind::Ordinal>();
  std::optional<std::string_view> id = id_name(name.kind);
  if (is_global_expression(*n.object)) {
    diagnostics.push(DiagnosticCode::GlobalVariable, at);
    if (id) return op_global(at, ret, lexer::CowText(*id));
    if (ordinal) return op_global_num(at, ret, static_cast<double>(ordinal->value));
    expected_identifier();
  }
  emit_expression(*n.object, ret, brk);
  if (id) return op_get(at, ret, ret, lexer::CowText(*id));
  if (ordinal) return op_get_index(at, ret, ret, ordinal->value);
  expected_identifier();
}

void Emitter::emit_arm(const Expression&, const Expression::Index& n, Register ret, Brk brk) {
  ByteRange at{n.open_bracket.range().start, n.close_bracket.range().end};
  if (is_global_expression(*n.object)) {
    diagnostics.push(DiagnosticCode::GlobalDynamicAccess, range(*n.index));
    Register i = emit_expression_reg(*n.index, brk);
    return op_global_dyn(at, ret, i);
  }
  emit_expression(*n.object, ret, brk);
  Register i = emit_expression_reg(*n.index, brk);
  op_get_dyn(at, ret, ret, i);
}

void Emitter::emit_arm(const Expression&, const Expression::Slice& n, Register ret, Brk brk) {
  ByteRange at{n.open_bracket.range().start, n.close_bracket.range().end};
  Register a = emit_expression_reg(*n.object, brk);
  const Expression::Slice::Bounds& b = *n.bounds;
  Register s = b.start ? emit_expression_reg(*b.start, brk) : Register();
  Register e = b.end ? emit_expression_reg(*b.end, brk) : Register();
  bool exclusive = b.op.get() == Operator::HalfOpenRange;
  op_4(at, exclusive ? OpCode::SliceExclusiveDyn : OpCode::SliceDyn, ret, a, s, e);
}

void Emitter::emit_arm(const Expression&, const Expression::NonNil& n, Register ret, Brk brk) {
  emit_expression(*n.expression, ret, brk);
  op_non_nil(n.exclamation.range(), ret);
}

void Emitter::emit_arm(const Expression& whole, const Expression::Block& n, Register ret, Brk brk) {
  ByteRange at = range(whole);
  enter_scope(at);
  declare_block(n.statements, n.value.get());
  emit_block(n.statements, n.value.get(), at, ret, brk);
  exit_scope();
}

void Emitter::emit_arm(const Expression&, const Expression::Function& n, Register ret, Brk) {
  ByteRange fn = n.fn_keyword.range();
  emit_fn(ret, empty_at(fn.start), fn.end, n.parameters ? &*n.parameters : nullptr, *n.body);
}

void Emitter::emit_arm(const Expression& whole, const Expression::Unknown&, Register ret, Brk) {
  // A token-less Unknown has the absent range; the writer maps it to an
  // empty range.
  op_nil(range(whole), ret);
}

}  // namespace vaxo_core::emitter

// Pattern code: tests written into a success register, binds stored into
// their variables, nil for the binds of a failed match, and the pattern's
// share of the declaration pass. Register 0 as success is the irrefutable
// context: what could fail there is reported instead of tested.

#include <bit>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <variant>

#include "core/emitter/emitter.h"
#include "core/emitter/number_bits.h"

namespace vaxo_core::emitter {

namespace {


// The pattern inside any number of groupings.
const Pattern& ungrouped(const Pattern& pattern) {
  const Pattern* p = &pattern;
  while (const auto* g = p->get_if<Pattern::Grouping>()) p = g->pattern.get();
  return *p;
}

}  // namespace

bool Emitter::is_optional(const Token& colon) { return colon == Operator::QuestionColon; }

void Emitter::emit_pattern(Register success, const Pattern& pattern, Register value,
                           std::optional<BindType> bind_type) {
  EmitDepth depth(budget_);
  // Only these kinds can be a constant behind their groupings: the others
  // (binds, destructurings, most patterns) skip the test.
  bool maybe_constant = pattern.is<Pattern::Literal>() || pattern.is<Pattern::Constant>() ||
                        pattern.is<Pattern::Grouping>();
  if (maybe_constant && emit_constant_pattern(success, pattern, value, OpCode::Same)) return;
  std::visit(
      [&](const auto& n) {
        using T = std::remove_cvref_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Pattern::Grouping>) {
          emit_pattern(success, *n.pattern, value, bind_type);
        } else if constexpr (std::is_same_v<T, Pattern::Literal> || std::is_same_v<T, Pattern::Constant>) {
          throw InternalError("internal error: entered unreachable code");
        } else if constexpr (std::is_same_v<T, Pattern::Relation>) {
          emit_relation_pattern(success, pattern, n, value);
        } else if constexpr (std::is_same_v<T, Pattern::Range>) {
          emit_range_pattern(success, pattern, n, value);
        } else if constexpr (std::is_same_v<T, Pattern::Discard> || std::is_same_v<T, Pattern::SpreadDiscard>) {
          if (!success.is_empty()) op_bool(range(pattern), success, true);
        } else if constexpr (std::is_same_v<T, Pattern::Bind>) {
          emit_bind_pattern(success, pattern, n, value, bind_type);
        } else if constexpr (std::is_same_v<T, Pattern::Record>) {
          emit_record_pattern(success, pattern, n, value, bind_type);
        } else if constexpr (std::is_same_v<T, Pattern::Array>) {
          emit_array_pattern(success, pattern, n, value, bind_type);
        } else if constexpr (std::is_same_v<T, Pattern::And> || std::is_same_v<T, Pattern::Or>) {
          if (success.is_empty()) {
            emit_pattern(Register(), *n.left, value, bind_type);
            emit_pattern(Register(), *n.right, value, bind_type);
            return;
          }
          OpCode code = std::is_same_v<T, Pattern::And> ? OpCode::And : OpCode::Or;
          Register right_success = closures.add_reg();
          emit_pattern(success, *n.left, value, bind_type);
          emit_pattern(right_success, *n.right, value, bind_type);
          const parser::TokenRef* keyword;
          if constexpr (std::is_same_v<T, Pattern::And>) {
            keyword = &n.and_keyword;
          } else {
            keyword = &n.or_keyword;
          }
          op_binary(keyword->range(), success, code, right_success, success);
        } else if constexpr (std::is_same_v<T, Pattern::Not>) {
          if (success.is_empty()) {
            diagnostics.push(DiagnosticCode::UnnecessaryIrrefutablePattern, n.not_keyword.range());
            emit_pattern(Register(), *n.pattern, value, bind_type);
            return;
          }
          // A literal or constant operand is one negated identity test.
          if (emit_constant_pattern(success, *n.pattern, value, OpCode::Nsame)) return;
          emit_pattern(success, *n.pattern, value, bind_type);
          op_unary(n.not_keyword.range(), success, OpCode::Not, success);
        } else if constexpr (std::is_same_v<T, Pattern::Unknown>) {
          // Its diagnostics travel in the tree; there is nothing to test.
        } else {
          static_assert(kUnhandled<T>);
        }
      },
      pattern.node);
}

bool Emitter::emit_constant_pattern(Register success, const Pattern& pattern, Register value, OpCode op) {
  const Pattern& p = ungrouped(pattern);
  if (!p.is<Pattern::Literal>() && !p.is<Pattern::Constant>()) return false;
  ByteRange at = range(p);
  if (success.is_empty()) {
    diagnostics.push(DiagnosticCode::UnnecessaryIrrefutablePattern, at);
    return true;
  }
  if (const auto* lit = p.get_if<Pattern::Literal>(); lit != nullptr && lit->literal.get() == Keyword::Nil) {
    op_binary(at, success, op, Register(), value);
    return true;
  }
  Register const_reg = closures.add_reg();
  emit_literal_constant(p, const_reg);
  op_binary(at, success, op, const_reg, value);
  return true;
}

std::optional<ConstantDiscriminants> Emitter::emit_literal_constant(const Pattern& pattern_constant,
                                                                    Register value) {
  if (const auto* c = pattern_constant.get_if<Pattern::Constant>()) {
    emit_var_read(c->name.get(), value);
    return std::nullopt;
  }
  const auto* lit = pattern_constant.get_if<Pattern::Literal>();
  if (lit == nullptr) return std::nullopt;
  ByteRange at = range(pattern_constant);
  const TokenKind& kind = lit->literal->kind;

  std::optional<std::uint64_t> bits;
  if (const auto* n = kind.get_if<TokenKind::Number>()) {
    bits = std::bit_cast<std::uint64_t>(n->value);
  } else if (const auto* o = kind.get_if<TokenKind::Ordinal>()) {
    bits = std::bit_cast<std::uint64_t>(static_cast<double>(o->value));
  } else if (kind == Keyword::Nan) {
    bits = kNanBits;
  } else if (kind == Keyword::Inf) {
    bits = kInfBits;
  }
  if (bits) {
    // Only a minus sign changes the value; "+" (and a flagged "!") do not.
    if (lit->prefix && lit->prefix->get() == Operator::Minus) *bits ^= kSignBit;
    op_const(at, value, chunk.add_number_bits(*bits));
    return ConstantDiscriminants::Number;
  }
  if (const auto* s = kind.get_if<TokenKind::String>()) {
    op_string(at, value, s->value);
    return ConstantDiscriminants::String;
  }
  if (kind == Keyword::True || kind == Keyword::False) {
    op_bool(at, value, kind == Keyword::True);
    return kind == Keyword::True ? ConstantDiscriminants::True : ConstantDiscriminants::False;
  }
  if (kind == Keyword::Nil) {
    op_nil(at, value);
    return ConstantDiscriminants::Nil;
  }
  unreachable(lit->prefix, lit->literal);
}

void Emitter::emit_literal_guard(Register success, const Pattern& pattern, Register value,
                                 ConstantDiscriminants literal) {
  ByteRange at = range(pattern);
  switch (literal) {
    case ConstantDiscriminants::Nil: op_binary(at, success, OpCode::Same, Register(), value); return;
    case ConstantDiscriminants::True:
    case ConstantDiscriminants::False: op_unary(at, success, OpCode::IsBoolean, value); return;
    case ConstantDiscriminants::Ordinal:
    case ConstantDiscriminants::Number: op_unary(at, success, OpCode::IsNumber, value); return;
    case ConstantDiscriminants::String: op_unary(at, success, OpCode::IsString, value); return;
  }
  throw InternalError("Undeclared constant kind");
}

void Emitter::emit_constant_guard(Register success, const Pattern& pattern, Register value, Register constant) {
  ByteRange at = range(pattern);
  Register constant_type = closures.add_reg();
  op_unary(at, constant_type, OpCode::Type, constant);
  Register value_type = closures.add_reg();
  op_unary(at, value_type, OpCode::Type, value);
  op_binary(at, success, OpCode::Same, constant_type, value_type);
}

void Emitter::emit_relation_pattern(Register success, const Pattern& pattern, const Pattern::Relation& n,
                                    Register value) {
  ByteRange at = range(pattern);
  if (success.is_empty()) {
    diagnostics.push(DiagnosticCode::UnnecessaryIrrefutablePattern, at);
    return;
  }
  std::optional<Operator> op = operator_of(n.op->kind);
  std::optional<OpCode> code;
  if (op && lexer::is_relation(*op)) code = to_infix_op(*op);
  if (!code) unreachable(n.op, n.operand);

  Register const_reg = closures.add_reg();
  if (*code == OpCode::Eq || *code == OpCode::Neq) {
    emit_literal_constant(*n.operand, const_reg);
    op_binary(at, success, *code, value, const_reg);
    return;
  }
  if (std::optional<ConstantDiscriminants> c = emit_literal_constant(*n.operand, const_reg)) {
    if (*c != ConstantDiscriminants::Ordinal && *c != ConstantDiscriminants::Number &&
        *c != ConstantDiscriminants::String) {
      diagnostics.push(DiagnosticCode::NonNumberOrStringInComparison, range(*n.operand));
    }
    emit_literal_guard(success, pattern, value, *c);
  } else {
    emit_constant_guard(success, pattern, value, const_reg);
  }
  op_if(at, OpCode::If, success);
  op_binary(at, success, *code, value, const_reg);
  op_if_end(at);
}

void Emitter::emit_range_pattern(Register success, const Pattern& pattern, const Pattern::Range& n,
                                 Register value) {
  ByteRange at = range(pattern);
  if (success.is_empty()) {
    diagnostics.push(DiagnosticCode::UnnecessaryIrrefutablePattern, at);
    return;
  }
  Register low = closures.add_reg();
  Register high = closures.add_reg();
  // Whatever the bounds are, only a number can lie between them.
  emit_literal_guard(success, pattern, value, ConstantDiscriminants::Ordinal);
  op_if(at, OpCode::If, success);
  emit_literal_constant(*n.start, low);
  emit_literal_constant(*n.end, high);
  op_binary(at, low, OpCode::Lte, low, value);
  op_binary(at, high, n.op.get() == Operator::HalfOpenRange ? OpCode::Gt : OpCode::Gte, high, value);
  op_binary(at, success, OpCode::And, low, high);
  op_if_end(at);
}

void Emitter::emit_bind_pattern(Register success, const Pattern& pattern, const Pattern::Bind& n, Register value,
                                std::optional<BindType> bind_type) {
  const Token& name_token = n.name.get();
  std::optional<std::string_view> name = id_name(name_token.kind);
  if (!name) return;
  ByteRange at = range(pattern);
  if (!success.is_empty()) op_bool(at, success, true);

  std::optional<FoundVariable> found = scopes.find_variable(*name);
  if (!found) {
    diagnostics.push(DiagnosticCode::UndefinedVariableAssignment, name_token.range);
    return;
  }
  Variable& variable = *found->variable;
  if (bind_type) {
    initialize_variable(variable);
  } else {
    variable.mark_write(name_token);
    if (!check_initialized(name_token, variable, found->level)) return;
  }
  if (!variable.is_mutable() && !bind_type) {
    diagnostics.push(DiagnosticCode::ImmutableVariableAssignment, name_token.range);
    variable.put_decl_ref(diagnostics);
    return;
  }
  store_variable(at, variable, found->level, value);
}

void Emitter::store_variable(ByteRange at, const Variable& variable, std::size_t scope_level, Register value) {
  std::size_t frame = variable.frame(scope_level);
  std::size_t frames = closures.size();
  // A name whose frame is not entered yet has no register to store into;
  // every access to it has been reported as uninitialised.
  if (!variable.has_register() || frame > frames) return;
  if (frame == frames) {
    op_unary(at, variable.reg(), OpCode::Assign, value);
  } else {
    op_set_upvalue(at, value, frames - frame, variable.reg());
  }
}

namespace {
// Patterns at least this tall have their binds listed (failed_binds); the
// rest, nearly all, are walked.
constexpr std::uint32_t kListedHeight = 8;
}  // namespace

void Emitter::emit_failed_pattern(const Pattern& pattern, std::optional<BindType> bind_type) {
  if (pattern.height >= kListedHeight) {
    for (const Pattern* bind : failed_binds(pattern)) emit_failed_bind(*bind, bind_type);
    return;
  }
  EmitDepth depth(budget_);
  std::visit(
      [&](const auto& n) {
        using T = std::remove_cvref_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Pattern::Grouping> || std::is_same_v<T, Pattern::Not>) {
          emit_failed_pattern(*n.pattern, bind_type);
        } else if constexpr (std::is_same_v<T, Pattern::And> || std::is_same_v<T, Pattern::Or>) {
          emit_failed_pattern(*n.left, bind_type);
          emit_failed_pattern(*n.right, bind_type);
        } else if constexpr (std::is_same_v<T, Pattern::Record>) {
          for (const auto& item : n.elements) emit_failed_pattern(member_pattern(item.element), bind_type);
        } else if constexpr (std::is_same_v<T, Pattern::Array>) {
          for (const auto& item : n.items) emit_failed_pattern(element_pattern(item.element), bind_type);
        } else if constexpr (std::is_same_v<T, Pattern::Bind>) {
          emit_failed_bind(pattern, bind_type);
        } else {
          // Literals, constants, relations, ranges, discards and faulty
          // stretches bind nothing.
        }
      },
      pattern.node);
}

void Emitter::emit_failed_bind(const Pattern& bind, std::optional<BindType> bind_type) {
  std::optional<std::string_view> name = id_name(bind.get_if<Pattern::Bind>()->name->kind);
  if (!name) return;
  std::optional<FoundVariable> found = scopes.find_variable(*name);
  if (!found) return;
  if (!found->variable->is_mutable() && !bind_type) return;
  store_variable(range(bind), *found->variable, found->level, Register());
}

const std::vector<const Pattern*>& Emitter::failed_binds(const Pattern& pattern) {
  if (auto it = failed_binds_.find(&pattern); it != failed_binds_.end()) return it->second;
  std::vector<const Pattern*> binds;
  collect_failed_binds(pattern, binds);
  return failed_binds_.emplace(&pattern, std::move(binds)).first->second;
}

void Emitter::collect_failed_binds(const Pattern& pattern, std::vector<const Pattern*>& binds) {
  EmitDepth depth(budget_);
  auto child = [&](const Pattern& c) {
    if (c.height < kListedHeight) {
      collect_failed_binds(c, binds);
      return;
    }
    // Its own failed branch, emitted before this one, was the list's other
    // reader: it goes once copied, so the lists held stay those of one path.
    const std::vector<const Pattern*>& listed = failed_binds(c);
    binds.insert(binds.end(), listed.begin(), listed.end());
    failed_binds_.erase(&c);
  };
  std::visit(
      [&](const auto& n) {
        using T = std::remove_cvref_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Pattern::Grouping> || std::is_same_v<T, Pattern::Not>) {
          child(*n.pattern);
        } else if constexpr (std::is_same_v<T, Pattern::And> || std::is_same_v<T, Pattern::Or>) {
          child(*n.left);
          child(*n.right);
        } else if constexpr (std::is_same_v<T, Pattern::Record>) {
          for (const auto& item : n.elements) child(member_pattern(item.element));
        } else if constexpr (std::is_same_v<T, Pattern::Array>) {
          for (const auto& item : n.items) child(element_pattern(item.element));
        } else if constexpr (std::is_same_v<T, Pattern::Bind>) {
          binds.push_back(&pattern);
        }
      },
      pattern.node);
}

const Pattern& Emitter::member_pattern(const parser::RecordElementBase<Pattern, Pattern>& member) {
  return *std::visit([](const auto& m) -> const Pattern* { return m.value.get(); }, member.node);
}

const Pattern& Emitter::element_pattern(const parser::ArrayElementBase<Pattern, Pattern>& element) {
  return *parser::visit_node([](const auto& e) -> const Pattern* { return e.value.get(); }, element.node);
}

void Emitter::declare_pattern(const Pattern& pattern, std::optional<BindType> bind_type) {
  declare_pattern_names(pattern, bind_type, true);
}

void Emitter::declare_pattern_names(const Pattern& pattern, std::optional<BindType> bind_type, bool hints) {
  // A plain name, the usual pattern, recurses no further.
  if (const auto* bind = pattern.get_if<Pattern::Bind>()) {
    if (bind_type) declare_variable(bind->name.get(), bind->mut_keyword.has_value(), *bind_type);
    return;
  }
  EmitDepth depth(budget_);
  std::visit(
      [&](const auto& n) {
        using T = std::remove_cvref_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Pattern::Grouping>) {
          const Pattern& inner = *n.pattern;
          if (hints && (inner.is<Pattern::Grouping>() || inner.is<Pattern::Literal>() ||
                        inner.is<Pattern::Constant>() || inner.is<Pattern::Discard>() || inner.is<Pattern::Bind>() ||
                        inner.is<Pattern::Record>() || inner.is<Pattern::Array>())) {
            diagnostics.push(DiagnosticCode::UnnecessaryParentheses,
                             ByteRange{n.open_paren.range().start, n.close_paren.range().end});
          }
          declare_pattern_names(inner, bind_type, hints);
        } else if constexpr (std::is_same_v<T, Pattern::Bind>) {
          if (bind_type) declare_variable(n.name.get(), n.mut_keyword.has_value(), *bind_type);
        } else if constexpr (std::is_same_v<T, Pattern::Record>) {
          for (const auto& item : n.elements) declare_pattern_names(member_pattern(item.element), bind_type, hints);
        } else if constexpr (std::is_same_v<T, Pattern::Array>) {
          for (const auto& item : n.items) declare_pattern_names(element_pattern(item.element), bind_type, hints);
        } else if constexpr (std::is_same_v<T, Pattern::And> || std::is_same_v<T, Pattern::Or>) {
          declare_pattern_names(*n.left, bind_type, hints);
          declare_pattern_names(*n.right, bind_type, hints);
        } else if constexpr (std::is_same_v<T, Pattern::Not>) {
          declare_pattern_names(*n.pattern, bind_type, hints);
        } else {
          // Nothing else binds a name.
        }
      },
      pattern.node);
}

}  // namespace vaxo_core::emitter

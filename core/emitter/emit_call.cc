// Call code: calls, extension calls, the `type` pseudo-call and tagged
// strings.

#include <utility>
#include <vector>

#include "core/emitter/emitter.h"

namespace vaxo_core::emitter {

namespace {

ByteRange empty_at(std::size_t position) { return ByteRange{position, position}; }

}  // namespace

void Emitter::emit_arm(const Expression&, const Expression::Call& n, Register ret, Brk brk) {
  std::span<const parser::ArgumentItem> args = n.arguments;
  if (!args.empty() && !args.front().element.is_spread()) {
    emit_call(n.callee, args.front().element.as_element()->value.get(), args.subspan(1), ret, brk);
  } else {
    emit_call(n.callee, nullptr, args, ret, brk);
  }
}

void Emitter::emit_arm(const Expression&, const Expression::Extension& n, Register ret, Brk brk) {
  emit_call(n.call->callee, n.receiver.get(), n.call->arguments, ret, brk);
}

void Emitter::emit_call(const parser::Callable& callable, const Expression* first,
                        std::span<const parser::ArgumentItem> rest, Register ret, Brk brk) {
  if (const auto* type = callable.node.as_type()) {
    // The pseudo-call takes one operand; anything else was already reported.
    Register a = first ? emit_expression_reg(*first, brk) : Register();
    op_unary(type->type_keyword.range(), ret, OpCode::Type, a);
    return;
  }
  const Expression& callee = *callable.node.expression();
  emit_expr_callable(
      callee,
      [&](std::size_t base) {
        if (first) {
          Register r = emit_expression_reg(*first, brk);
          scratch_regs_.push_back(r);
        }
        for (const auto& item : rest) {
          if (const auto* spread = item.element.as_spread()) {
            scratch_params_.push_back(OpParam::from_size(scratch_regs_.size() - base));
            Register r = emit_expression_reg(*spread->value, brk);
            scratch_regs_.push_back(r);
          } else {
            Register r = emit_expression_reg(*item.element.as_element()->value, brk);
            scratch_regs_.push_back(r);
          }
        }
      },
      ret, brk);
}

template <typename Builder>
void Emitter::emit_expr_callable(const Expression& callee, Builder&& builder, Register ret, Brk brk) {
  ByteRange at = range(callee);
  // The builder pushes the argument registers and spread positions on the
  // scratch stacks; nested calls push above them and pop back.
  std::size_t regs_base = scratch_regs_.size();
  std::size_t params_base = scratch_params_.size();
  auto call = [&](Register callee_reg, const lexer::CowText* name, const std::uint64_t* name_hash = nullptr) {
    builder(regs_base);
    std::span<const Register> regs(scratch_regs_.data() + regs_base, scratch_regs_.size() - regs_base);
    std::span<const OpParam> spreads(scratch_params_.data() + params_base, scratch_params_.size() - params_base);
    if (name_hash != nullptr) {
      op_call(at, ret, name->view(), *name_hash, regs, spreads);
    } else if (name != nullptr) {
      op_call(at, ret, *name, regs, spreads);
    } else {
      op_call_dyn(at, ret, callee_reg, regs, spreads);
    }
    scratch_regs_.resize(regs_base);
    scratch_params_.resize(params_base);
  };
  if (const auto* var = callee.get_if<Expression::Variable>()) {
    // A name is looked up once: a global is called by name, a variable
    // through its register.
    const Token& token = var->name.get();
    if (const auto id = token.kind.get_if<TokenKind::Identifier>()) {
      // The hash serves the lookup and, for a global, the name's constant.
      const std::uint64_t name_hash = Scopes::hash(id->name);
      std::optional<FoundVariable> found = scopes.find_variable(id->name, name_hash);
      if (found) {
        call(variable_reg(token, id->name, found), nullptr);
        return;
      }
      diagnostics.push(DiagnosticCode::GlobalVariable, token.range);
      hint_mislead_nil(id->name, token.range);
      lexer::CowText name(id->name);
      // The arguments' constants come before the name's.
      call(Register(), &name, &name_hash);
      return;
    }
  }
  if (std::optional<lexer::CowText> name = emit_global_access(callee)) {
    call(Register(), &*name);
    return;
  }
  Register c = emit_expression_reg(callee, brk);
  if (callee.is_variable()) {
    call(c, nullptr);
    return;
  }
  op_if(at, OpCode::IfNotNil, c);
  call(c, nullptr);
  op_else(at);
  op_nil(at, ret);
  op_if_end(at);
}

std::optional<lexer::CowText> Emitter::emit_global_access(const Expression& callee) {
  if (const auto* var = callee.get_if<Expression::Variable>()) {
    const Token& token = var->name.get();
    std::optional<std::string_view> name = id_name(token.kind);
    if (!name || scopes.find_variable(*name)) return std::nullopt;
    diagnostics.push(DiagnosticCode::GlobalVariable, token.range);
    hint_mislead_nil(*name, token.range);
    return lexer::CowText(*name);
  }
  if (const auto* access = callee.get_if<Expression::Access>()) {
    if (!is_global_expression(*access->object)) return std::nullopt;
    const Token& token = access->name.get();
    std::optional<lexer::FieldName> field = field_name(token.kind);
    if (!field) return std::nullopt;
    diagnostics.push(DiagnosticCode::GlobalVariable, token.range);
    return std::move(field->name);
  }
  return std::nullopt;
}

void Emitter::emit_arm(const Expression&, const Expression::TaggedString& n, Register ret, Brk brk) {
  const Expression& string = *n.string;
  emit_expr_callable(
      *n.tag,
      [&](std::size_t) {
        Register t = closures.add_reg();
        scratch_regs_.push_back(t);
        if (string.is_literal()) {
          ByteRange r = range(string);
          Register v = emit_expression_reg(string, brk);
          op_1(empty_at(r.start), OpCode::Array, t);
          op_1(r, OpCode::Item, v);
          op(empty_at(r.end), OpCode::Freeze);
          return;
        }
        const auto* interpolated = string.get_if<Expression::InterpolatedString>();
        if (interpolated == nullptr) unreachable(*n.tag, string);
        const Token& token = *interpolated->token;
        const auto* kind = token.kind.get_if<TokenKind::InterpolatedString>();
        if (kind == nullptr) unreachable(token, token);
        ByteRange r = token.range;
        for (std::size_t i = 0; i < interpolated->expressions.size() && i < kind->parts.size(); ++i) {
          const Expression& e = interpolated->expressions[i];
          ByteRange er = range(e);
          Register pack = closures.add_reg();
          Register a = emit_expression_reg(e, brk);
          std::string_view format = kind->parts[i].format;
          Register f;
          if (!format.empty()) {
            f = closures.add_reg();
            op_string(er, f, lexer::CowText(format));
          }
          op_1(er, OpCode::Record, pack);
          op_2(er, OpCode::FieldIndex, OpParam(0), a);
          if (!f.is_empty()) op_2(er, OpCode::FieldIndex, OpParam(1), f);
          op(er, OpCode::Freeze);
          scratch_regs_.push_back(pack);
        }
        std::vector<Register> texts;
        texts.reserve(kind->parts.size());
        for (const auto& part : kind->parts) {
          Register reg = closures.add_reg();
          op_string(r, reg, part.text);
          texts.push_back(reg);
        }
        op_1(empty_at(r.start), OpCode::Array, t);
        for (Register reg : texts) op_1(r, OpCode::Item, reg);
        op(empty_at(r.end), OpCode::Freeze);
      },
      ret, brk);
}

}  // namespace vaxo_core::emitter

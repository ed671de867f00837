// Statement code and the statements' share of the declaration pass.
//
// An assignment is written in three steps: the assignee is analysed into
// the register that receives the new value and the operation that stores it
// back; the value (or, for a compound operator, the old and the new value
// combined) goes into that register; then the store.

#include <optional>
#include <type_traits>
#include <variant>

#include "core/emitter/emitter.h"

namespace vaxo_core::emitter {

namespace {

// The store that ends an assignment, its operands fixed with the assignee.
struct Store {
  OpCode op = OpCode::Noop;  // Noop: the value is already in place
  Register value;
  Operand where;  // depth (SetUpvalue), object (Set, SetIndex, SetDyn)
  Operand key;    // variable register (SetUpvalue), name, index or key
};

const Expression& ungrouped(const Expression& expr) {
  const Expression* e = &expr;
  while (const auto* group = e->get_if<Expression::Grouping>()) e = group->expression.get();
  return *e;
}

// The expression, behind its groupings, is a read of `name`: its operand
// register is then the variable's own.
bool reads_in_place(const Expression& expr, std::string_view name) {
  const auto* var = ungrouped(expr).get_if<Expression::Variable>();
  if (var == nullptr) return false;
  const auto id = var->name->kind.get_if<lexer::TokenKind::Identifier>();
  return id && id->name == name;
}

}  // namespace

bool Emitter::overwrites_early(const Expression& value, std::string_view name) {
  using Member = parser::RecordElementBase<Expression, Expression>;
  if (const auto* group = value.get_if<Expression::Grouping>()) return overwrites_early(*group->expression, name);
  if (const auto* non_nil = value.get_if<Expression::NonNil>()) return overwrites_early(*non_nil->expression, name);
  if (const auto* access = value.get_if<Expression::Access>()) {
    return !is_global_expression(*access->object) && overwrites_early(*access->object, name);
  }
  if (const auto* index = value.get_if<Expression::Index>()) {
    // The object lands first, the index is computed after it: a literal or
    // another name reads nothing of the variable.
    if (is_global_expression(*index->object)) return false;
    const Expression& key = ungrouped(*index->index);
    bool harmless = key.is<Expression::Literal>() || (key.is<Expression::Variable>() && !reads_in_place(key, name));
    return !harmless || overwrites_early(*index->object, name);
  }
  if (const auto* infix = value.get_if<Expression::Infix>()) {
    // The short-circuit operators hold their left operand's value there
    // while the right one is computed.
    const Token& op = infix->op.get();
    return op == Operator::LogicalAnd || op == Operator::LogicalOr || op == Operator::NullCoalescing ||
           op == Keyword::And || op == Keyword::Or;
  }
  if (const auto* record = value.get_if<Expression::Record>()) {
    // The record opens in the register before its members read their values.
    for (const auto& item : record->elements) {
      bool in_place = std::visit(
          [&](const auto& member) {
            using M = std::remove_cvref_t<decltype(member)>;
            if constexpr (std::is_same_v<M, Member::InterpolateNamed>) {
              return reads_in_place(*member.name_expression, name) || reads_in_place(*member.value, name);
            } else {
              return reads_in_place(*member.value, name);
            }
          },
          item.element.node);
      if (in_place) return true;
    }
    return false;
  }
  if (const auto* array = value.get_if<Expression::Array>()) {
    for (const auto& item : array->items) {
      if (const auto* spread = item.element.as_spread()) {
        if (reads_in_place(*spread->value, name)) return true;
      } else if (const auto* r = std::get_if<parser::Iterable::Range>(&item.element.as_element()->value->node)) {
        if (reads_in_place(*r->range.start, name) || reads_in_place(*r->range.end, name)) return true;
      } else if (reads_in_place(std::get<parser::Iterable::Value>(item.element.as_element()->value->node).value,
                                name)) {
        return true;
      }
    }
    return false;
  }
  if (const auto* block = value.get_if<Expression::Block>()) {
    return block->value != nullptr && overwrites_early(*block->value, name);
  }
  if (const auto* if_expr = value.get_if<Expression::If>()) {
    return overwrites_early(*if_expr->then_block, name) ||
           (if_expr->else_block && overwrites_early(*if_expr->else_block->body, name));
  }
  if (const auto* cond = value.get_if<Expression::Cond>()) {
    return overwrites_early(*cond->then_expression, name) || overwrites_early(*cond->otherwise->else_expression, name);
  }
  // A pattern test writes its success while it still reads; `match`, `while`
  // and `for` set their result before their code runs.
  return value.is<Expression::Is>() || value.is<Expression::Match>() || value.is<Expression::While>() ||
         value.is<Expression::ForIn>();
}

bool Emitter::emit_statement(const Statement& stmt, Brk brk) {
  // Unguarded: a statement recurses only through guarded expressions.
  return std::visit(
      [&](const auto& n) -> bool {
        using T = std::remove_cvref_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Statement::Empty> || std::is_same_v<T, Statement::Unknown>) {
          return false;
        } else if constexpr (std::is_same_v<T, Statement::Expression> ||
                             std::is_same_v<T, Statement::BlockExpression>) {
          emit_expression(*n.expression, Register(), brk);
          return false;
        } else if constexpr (std::is_same_v<T, Statement::Bind>) {
          // The value first: a pattern always matches a filled register.
          Register value = emit_expression_reg(*n.value, brk);
          emit_pattern(Register(), *n.pattern, value, BindType::Let);
          return false;
        } else if constexpr (std::is_same_v<T, Statement::Rebind>) {
          Register value = emit_expression_reg(*n.value, brk);
          emit_pattern(Register(), *n.pattern, value, std::nullopt);
          return false;
        } else if constexpr (std::is_same_v<T, Statement::Const>) {
          std::optional<std::string_view> name = id_name(n.name->kind);
          if (!name) return false;
          std::optional<FoundVariable> found = scopes.find_variable(*name);
          if (!found) return false;
          Register reg = initialize_variable(*found->variable);
          emit_expression(*n.value, reg, brk);
          return false;
        } else if constexpr (std::is_same_v<T, Statement::Assign>) {
          emit_assign(stmt, n, brk);
          return false;
        } else if constexpr (std::is_same_v<T, Statement::Function>) {
          // A keyword kept as the name (already reported) declared nothing.
          std::optional<std::string_view> name = id_name(n.name->kind);
          if (!name) return false;
          Variable* variable = scopes.find_local_variable(*name);
          if (variable == nullptr) return false;
          Register reg = initialize_variable(*variable);
          ByteRange name_range = n.name.range();
          emit_fn(reg, name_range, name_range.end, n.parameters ? &*n.parameters : nullptr, *n.body);
          return false;
        } else if constexpr (std::is_same_v<T, Statement::Return>) {
          Register value = n.value ? emit_expression_reg(*n.value, brk) : Register();
          op_return(range(stmt), value);
          return true;
        } else if constexpr (std::is_same_v<T, Statement::Break>) {
          if (!brk) {
            diagnostics.push(DiagnosticCode::UnexpectedBreak, span(n.break_keyword.range(), n.semicolon.range()));
            return false;
          }
          // The loop's result lives in the frame around the loop body.
          if (n.value) {
            Register value = emit_expression_reg(*n.value, brk);
            op_set_upvalue(range(stmt), value, 1, *brk);
          } else if (!brk->is_empty()) {
            op_set_upvalue(range(stmt), Register(), 1, *brk);
          }
          op(n.break_keyword.range(), OpCode::Break);
          return true;
        } else if constexpr (std::is_same_v<T, Statement::Continue>) {
          if (!brk) {
            diagnostics.push(DiagnosticCode::UnexpectedContinue,
                             span(n.continue_keyword.range(), n.semicolon.range()));
            return false;
          }
          op(n.continue_keyword.range(), OpCode::Continue);
          return true;
        } else {
          static_assert(kUnhandled<T>);
        }
      },
      stmt.node);
}

void Emitter::emit_assign(const Statement& whole, const Statement::Assign& n, Brk brk) {
  ByteRange at = range(whole);
  bool compound = n.op.get() != Operator::Assign;
  const Expression& assignee = *n.assignee;
  Register target;
  Store store;
  // The name whose own register is the target (none: a fresh target).
  std::optional<std::string_view> own;

  if (const auto* var = assignee.get_if<Expression::Variable>()) {
    const Token& token = var->name.get();
    if (token == Keyword::Global) {
      diagnostics.push(DiagnosticCode::MisuseOfGlobalKeyword, token.range);
      return;
    }
    std::optional<std::string_view> name = id_name(token.kind);
    if (!name) return;
    if (std::optional<FoundVariable> found = scopes.find_variable(*name)) {
      Variable& variable = *found->variable;
      if (compound) {
        variable.mark_read_write(token);
      } else {
        variable.mark_write(token);
      }
      // Reported when refused; the assignment is written all the same.
      check_initialized(token, variable, found->level);
      std::size_t frame = variable.frame(found->level);
      std::size_t frames = closures.size();
      if (!variable.is_mutable()) {
        diagnostics.push(DiagnosticCode::ImmutableVariableAssignment, token.range);
        variable.put_decl_ref(diagnostics);
      } else if (!variable.has_register() || frame > frames) {
        // Its frame is not entered yet (a `for` name used in the iterable):
        // there is nothing to store into, and the read check reported it.
      } else if (frame == frames) {
        target = variable.reg();
        own = name;
      } else {
        std::size_t up = frames - frame;
        target = closures.add_reg();
        op_get_upvalue(at, target, up, variable.reg());
        store = Store{OpCode::SetUpvalue, target, OpParam::from_size(up), variable.reg()};
      }
    } else {
      diagnostics.push(DiagnosticCode::UndefinedVariableAssignment, token.range);
    }
  } else if (const auto* access = assignee.get_if<Expression::Access>()) {
    if (is_global_expression(*access->object)) {
      diagnostics.push(DiagnosticCode::UnassignableExpression, range(assignee));
      return;
    }
    Register object = emit_expression_reg(*access->object, brk);
    target = closures.add_reg();
    const lexer::TokenKind& name = access->name->kind;
    if (std::optional<std::string_view> id = id_name(name)) {
      OpParam key = add_const_string(*id);
      if (compound) op_3(at, OpCode::Get, target, object, key);
      store = Store{OpCode::Set, target, object, key};
    } else if (const auto* ordinal = name.get_if<lexer::TokenKind::Ordinal>()) {
      if (compound) op_get_index(at, target, object, ordinal->value);
      store = Store{OpCode::SetIndex, target, object, OpParam(ordinal->value)};
    } else {
      throw InternalError("internal error: entered unreachable code: Expected identifier token");
    }
  } else if (const auto* index = assignee.get_if<Expression::Index>()) {
    if (is_global_expression(*index->object)) {
      diagnostics.push(DiagnosticCode::UnassignableExpression, range(assignee));
      return;
    }
    Register object = emit_expression_reg(*index->object, brk);
    Register key = emit_expression_reg(*index->index, brk);
    target = closures.add_reg();
    if (compound) op_get_dyn(at, target, object, key);
    store = Store{OpCode::SetDyn, target, object, key};
  } else {
    diagnostics.push(DiagnosticCode::UnassignableExpression, range(assignee));
    return;
  }

  std::optional<Operator> op = operator_of(n.op->kind);
  std::optional<OpCode> guard;
  if (op == Operator::LogicalAndAssign) guard = OpCode::If;
  if (op == Operator::LogicalOrAssign) guard = OpCode::IfNot;
  if (op == Operator::NullCoalescingAssign) guard = OpCode::IfNil;
  auto emit_value = [&] {
    // A value that would read the variable after overwriting it goes through
    // a register of its own.
    if (!own || !overwrites_early(*n.value, *own)) return emit_expression(*n.value, target, brk);
    Register value = closures.add_reg();
    emit_expression(*n.value, value, brk);
    op_2(at, OpCode::Assign, target, value);
  };
  if (!compound) {
    emit_value();
  } else if (guard) {
    op_if(at, *guard, target);
    emit_value();
    op_if_end(at);
  } else {
    std::optional<OpCode> code = op ? to_compound_op(*op) : std::nullopt;
    if (!code) unreachable(n.op, n.op);
    Register right = emit_expression_reg(*n.value, brk);
    op_binary(at, target, *code, target, right);
  }
  if (store.op != OpCode::Noop) op_3(at, store.op, store.value, store.where, store.key);
}

void Emitter::declare_statement(const Statement& stmt) {
  // Unguarded: a statement recurses only through guarded expressions.
  std::visit(
      [&](const auto& n) {
        using T = std::remove_cvref_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Statement::Expression> || std::is_same_v<T, Statement::BlockExpression>) {
          declare_expression(*n.expression);
        } else if constexpr (std::is_same_v<T, Statement::Bind>) {
          // A plain immutable name bound to a function literal is a function.
          const auto* bind = n.pattern->template get_if<Pattern::Bind>();
          bool function = bind != nullptr && !bind->mut_keyword && n.value->template is<Expression::Function>();
          declare_pattern(*n.pattern, function ? BindType::LetFunc : BindType::Let);
          declare_expression(*n.value);
        } else if constexpr (std::is_same_v<T, Statement::Rebind>) {
          declare_pattern(*n.pattern, std::nullopt);
          declare_expression(*n.value);
        } else if constexpr (std::is_same_v<T, Statement::Const>) {
          declare_variable(n.name.get(), false, BindType::Const);
          declare_expression(*n.value);
        } else if constexpr (std::is_same_v<T, Statement::Assign>) {
          declare_expression(*n.assignee);
          declare_expression(*n.value);
        } else if constexpr (std::is_same_v<T, Statement::Function>) {
          // The body is declared when the function's own block is written.
          declare_variable(n.name.get(), false, BindType::Func);
        } else if constexpr (std::is_same_v<T, Statement::Return> || std::is_same_v<T, Statement::Break>) {
          if (n.value) declare_expression(*n.value);
        } else if constexpr (std::is_same_v<T, Statement::Empty> || std::is_same_v<T, Statement::Continue> ||
                             std::is_same_v<T, Statement::Unknown>) {
          // Nothing to declare.
        } else {
          static_assert(kUnhandled<T>);
        }
      },
      stmt.node);
}

}  // namespace vaxo_core::emitter

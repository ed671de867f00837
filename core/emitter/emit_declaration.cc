// The declaration pass over expressions and the static checks on literal
// operands. It writes no code and takes no register: it declares the names
// bound by `is` patterns, records warnings and hints, and the tags and
// keyword references of calls and of the scope-opening forms (whose
// contents are declared later, by their own code, inside their own scope).

#include <type_traits>
#include <variant>
#include <vector>

#include "core/emitter/emitter.h"

namespace vaxo_core::emitter {

namespace {

bool is_literal_like(const Expression& e) { return e.is_literal() || e.is_interpolated_string(); }

// The parenthesised expressions whose parentheses say nothing.
bool needs_no_parentheses(const Expression& e) {
  if (const auto* record = e.get_if<Expression::Record>()) {
    // The brace form is no record literal in parentheses' eyes.
    return !(record->open.get() == Operator::OpenBrace && record->close.get() == Operator::CloseBrace);
  }
  return e.is<Expression::Literal>() || e.is<Expression::InterpolatedString>() || e.is<Expression::Variable>() ||
         e.is<Expression::Grouping>() || e.is<Expression::Array>() || e.is<Expression::Call>() ||
         e.is<Expression::Extension>() || e.is<Expression::Access>() || e.is<Expression::Index>() ||
         e.is<Expression::NonNil>();
}

}  // namespace

void Emitter::declare_expression(const Expression& outer) {
  // Half the nodes are names and literals: nothing to declare, no level.
  if (outer.is_variable() || outer.is_literal()) return;
  EmitDepth depth(budget_);
  // The forms' tags and keyword references are all tags: without tags their
  // tokens are not even read. Asked only by those forms.
  auto tags = [this] { return diagnostics.should_push(DiagnosticCode::IfExpression); };
  std::visit(
      [&](const auto& n) {
        using T = std::remove_cvref_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Expression::Literal> || std::is_same_v<T, Expression::Variable> ||
                      std::is_same_v<T, Expression::Block> || std::is_same_v<T, Expression::Function> ||
                      std::is_same_v<T, Expression::Unknown>) {
          // Leaves, and forms whose own code declares their contents.
        } else if constexpr (std::is_same_v<T, Expression::InterpolatedString>) {
          for (const Expression& e : n.expressions) declare_expression(e);
        } else if constexpr (std::is_same_v<T, Expression::Grouping>) {
          if (needs_no_parentheses(*n.expression)) {
            diagnostics.push(DiagnosticCode::UnnecessaryParentheses,
                             span(n.open_paren.range(), n.close_paren.range()));
          }
          declare_expression(*n.expression);
        } else if constexpr (std::is_same_v<T, Expression::Record>) {
          using Member = parser::RecordElementBase<Expression, Expression>;
          for (const parser::RecordItem& item : n.elements) {
            if (const auto* m = std::get_if<Member::InterpolateNamed>(&item.element.node)) {
              declare_expression(*m->name_expression);
            }
            std::visit([&](const auto& m) { declare_expression(*m.value); }, item.element.node);
          }
        } else if constexpr (std::is_same_v<T, Expression::Array>) {
          for (const parser::ArrayLiteralItem& item : n.items) {
            if (const auto* spread = item.element.as_spread()) {
              declare_expression(*spread->value);
            } else if (const auto* r = std::get_if<parser::Iterable::Range>(&item.element.as_element()->value->node)) {
              declare_expression(*r->range.start);
              declare_expression(*r->range.end);
            } else {
              declare_expression(std::get<parser::Iterable::Value>(item.element.as_element()->value->node).value);
            }
          }
        } else if constexpr (std::is_same_v<T, Expression::Call>) {
          declare_call(nullptr, n.open_paren, n.close_paren, n.callee, n.arguments);
        } else if constexpr (std::is_same_v<T, Expression::TaggedString>) {
          declare_callable_expr(*n.tag);
          declare_expression(*n.string);
        } else if constexpr (std::is_same_v<T, Expression::Extension>) {
          declare_expression(*n.receiver);
          declare_call(n.receiver.get(), n.call->open_paren, n.call->close_paren, n.call->callee, n.call->arguments);
        } else if constexpr (std::is_same_v<T, Expression::Access>) {
          declare_indexing_expr(*n.object);
        } else if constexpr (std::is_same_v<T, Expression::Index>) {
          declare_indexing_expr(*n.object);
          declare_expression(*n.index);
        } else if constexpr (std::is_same_v<T, Expression::Slice>) {
          // A slice of a literal is not reported.
          declare_expression(*n.object);
          if (n.bounds->start) declare_expression(*n.bounds->start);
          if (n.bounds->end) declare_expression(*n.bounds->end);
        } else if constexpr (std::is_same_v<T, Expression::NonNil>) {
          declare_expression(*n.expression);
        } else if constexpr (std::is_same_v<T, Expression::Prefix>) {
          declare_expression(*n.operand);
          if (const auto* lit = n.operand->template get_if<Expression::Literal>()) {
            check_static_operator_usage(n.op.get(), lit->literal.get());
          }
        } else if constexpr (std::is_same_v<T, Expression::Infix>) {
          declare_expression(*n.left);
          declare_expression(*n.right);
          if (const auto* lit = n.left->template get_if<Expression::Literal>()) {
            check_static_operator_usage(n.op.get(), lit->literal.get());
          }
          if (const auto* lit = n.right->template get_if<Expression::Literal>()) {
            check_static_operator_usage(n.op.get(), lit->literal.get());
          }
        } else if constexpr (std::is_same_v<T, Expression::Is>) {
          declare_expression(*n.expression);
          declare_pattern(*n.pattern, BindType::Init);
        } else if constexpr (std::is_same_v<T, Expression::Loop>) {
          if (!tags()) return;
          diagnostics.push(DiagnosticCode::LoopExpression, span(n.loop_keyword.range(), range(*n.body)));
          diagnostics.push(DiagnosticCode::KeywordLoop, n.loop_keyword.range());
        } else if constexpr (std::is_same_v<T, Expression::While>) {
          if (!tags()) return;
          ByteRange end = n.else_block ? range(*n.else_block->body) : range(*n.body);
          diagnostics.push(DiagnosticCode::WhileExpression, span(n.while_keyword.range(), end));
          diagnostics.push(DiagnosticCode::KeywordWhile, n.while_keyword.range());
          if (n.else_block) diagnostics.push(DiagnosticCode::KeywordElse, n.else_block->else_keyword.range());
        } else if constexpr (std::is_same_v<T, Expression::ForIn>) {
          if (!tags()) return;
          ByteRange end = n.else_block ? range(*n.else_block->body) : range(*n.body);
          diagnostics.push(DiagnosticCode::ForExpression, span(n.for_keyword.range(), end));
          diagnostics.push(DiagnosticCode::KeywordFor, n.for_keyword.range());
          diagnostics.push(DiagnosticCode::KeywordIn, n.source->in_keyword.range());
          if (n.else_block) diagnostics.push(DiagnosticCode::KeywordElse, n.else_block->else_keyword.range());
        } else if constexpr (std::is_same_v<T, Expression::If>) {
          // One tag over the whole else-if chain, one reference per keyword.
          if (!tags()) return;
          diagnostics.push(DiagnosticCode::IfExpression, range(outer));
          diagnostics.push(DiagnosticCode::KeywordIf, n.if_keyword.range());
          const parser::ElseBlock* e = n.else_block ? &*n.else_block : nullptr;
          while (e != nullptr) {
            diagnostics.push(DiagnosticCode::KeywordElse, e->else_keyword.range());
            const auto* next = e->body->template get_if<Expression::If>();
            if (next == nullptr) break;
            diagnostics.push(DiagnosticCode::KeywordIf, next->if_keyword.range());
            e = next->else_block ? &*next->else_block : nullptr;
          }
        } else if constexpr (std::is_same_v<T, Expression::Cond>) {
          ByteRange whole = range(outer);
          diagnostics.push(DiagnosticCode::PreferIfExpression, whole);
          if (!tags()) return;
          diagnostics.push(DiagnosticCode::IfExpression, whole);
          diagnostics.push(DiagnosticCode::KeywordIf, n.question.range());
          diagnostics.push(DiagnosticCode::KeywordElse, n.otherwise->colon.range());
        } else if constexpr (std::is_same_v<T, Expression::Match>) {
          if (!tags()) return;
          diagnostics.push(DiagnosticCode::MatchExpression, range(outer));
          diagnostics.push(DiagnosticCode::KeywordMatch, n.match_keyword.range());
          std::vector<SourceDiagnostic> keywords;
          for (const parser::MatchCase& c : n.body->cases) {
            keywords.push_back({c.case_keyword.range(), DiagnosticCode::KeywordCase});
            if (c.guard) keywords.push_back({c.guard->if_keyword.range(), DiagnosticCode::KeywordIf});
          }
          diagnostics.extend(std::move(keywords));
        } else {
          static_assert(kUnhandled<T>);
        }
      },
      outer.node);
}

void Emitter::declare_call(const Expression* receiver, const parser::TokenRef& l, const parser::TokenRef& r,
                           const parser::Callable& callable, std::span<const parser::ArgumentItem> args) {
  if (config.diagnostic_tag) {
    ByteRange callee = range(callable);
    std::size_t start = receiver != nullptr ? range(*receiver).start : callee.start;
    diagnostics.push(receiver != nullptr ? DiagnosticCode::ExtensionCall : DiagnosticCode::FunctionCall,
                     ByteRange{start, r.range().end});
    if (receiver != nullptr) diagnostics.push(DiagnosticCode::ArgumentExtension, range(*receiver));
    diagnostics.push(DiagnosticCode::Callable, callee);
    diagnostics.push(DiagnosticCode::ArgumentStart, l.range());
    for (const parser::ArgumentItem& item : args) {
      if (const auto* spread = item.element.as_spread()) {
        diagnostics.push(DiagnosticCode::ArgumentSpread, spread->spread.range());
      }
      if (const Token* comma = item.tail_comma()) diagnostics.push(DiagnosticCode::ArgumentComma, comma->range);
    }
    diagnostics.push(DiagnosticCode::ArgumentEnd, r.range());
  }
  // A named callee, the usual one, has nothing to check or declare.
  if (const Expression* e = callable.node.expression(); e != nullptr && !e->is_variable()) {
    declare_callable_expr(*e);
  }
  for (const parser::ArgumentItem& item : args) {
    parser::visit_node([&](const auto& a) { declare_expression(*a.value); }, item.element.node);
  }
}

void Emitter::declare_cond_expr(const Expression& cond) {
  if (const auto* lit = cond.get_if<Expression::Literal>(); lit != nullptr && !lit->literal->kind.is_boolean_literal()) {
    diagnostics.push(DiagnosticCode::NonBooleanInLogical, lit->literal.range());
  }
  declare_expression(cond);
}

void Emitter::declare_callable_expr(const Expression& callable) {
  if (const auto* g = callable.get_if<Expression::Grouping>()) {
    const Expression& inner = *g->expression;
    // A parenthesised name is called through the guarded dynamic path; its
    // parentheses are not needless.
    if (inner.is_variable() || inner.is_grouping()) {
      declare_expression(inner);
      return;
    }
  }
  if (is_literal_like(callable)) diagnostics.push(DiagnosticCode::LiteralNotCallable, range(callable));
  declare_expression(callable);
}

void Emitter::declare_indexing_expr(const Expression& record_like) {
  if (is_literal_like(record_like)) diagnostics.push(DiagnosticCode::LiteralNotIndexable, range(record_like));
  declare_expression(record_like);
}

void Emitter::check_static_operator_usage(const Token& op, const Token& literal) {
  const TokenKind& kind = literal.kind;
  if (std::optional<Keyword> keyword = keyword_of(op.kind)) {
    if ((*keyword == Keyword::And || *keyword == Keyword::Or || *keyword == Keyword::Not) &&
        !kind.is_boolean_literal()) {
      diagnostics.push(DiagnosticCode::NonBooleanInLogical, literal.range);
    }
    return;
  }
  std::optional<Operator> o = operator_of(op.kind);
  if (!o) return;
  if (lexer::is_arithmetic(*o)) {
    if (!kind.is_number_nan_literal()) diagnostics.push(DiagnosticCode::NonNumberInArithmetic, literal.range);
  } else if (lexer::is_logical(*o)) {
    if (!kind.is_boolean_literal()) diagnostics.push(DiagnosticCode::NonBooleanInLogical, literal.range);
  } else if (lexer::is_comparison(*o)) {
    if (!kind.is_number_nan_literal() && !kind.is_string()) {
      diagnostics.push(DiagnosticCode::NonNumberOrStringInComparison, literal.range);
    }
  }
}

void Emitter::declare_is_names(const Expression& outer) {
  EmitDepth depth(budget_);
  std::visit(
      [&](const auto& n) {
        using T = std::remove_cvref_t<decltype(n)>;
        if constexpr (std::is_same_v<T, Expression::InterpolatedString>) {
          for (const Expression& e : n.expressions) declare_is_names(e);
        } else if constexpr (std::is_same_v<T, Expression::Grouping>) {
          declare_is_names(*n.expression);
        } else if constexpr (std::is_same_v<T, Expression::NonNil>) {
          declare_is_names(*n.expression);
        } else if constexpr (std::is_same_v<T, Expression::Record>) {
          using Member = parser::RecordElementBase<Expression, Expression>;
          for (const parser::RecordItem& item : n.elements) {
            if (const auto* m = std::get_if<Member::InterpolateNamed>(&item.element.node)) {
              declare_is_names(*m->name_expression);
            }
            std::visit([&](const auto& m) { declare_is_names(*m.value); }, item.element.node);
          }
        } else if constexpr (std::is_same_v<T, Expression::Array>) {
          for (const parser::ArrayLiteralItem& item : n.items) {
            if (const auto* spread = item.element.as_spread()) {
              declare_is_names(*spread->value);
            } else if (const auto* r = std::get_if<parser::Iterable::Range>(&item.element.as_element()->value->node)) {
              declare_is_names(*r->range.start);
              declare_is_names(*r->range.end);
            } else {
              declare_is_names(std::get<parser::Iterable::Value>(item.element.as_element()->value->node).value);
            }
          }
        } else if constexpr (std::is_same_v<T, Expression::Call> || std::is_same_v<T, Expression::Extension>) {
          const Expression::Call* call;
          if constexpr (std::is_same_v<T, Expression::Extension>) {
            declare_is_names(*n.receiver);
            call = n.call.get();
          } else {
            call = &n;
          }
          if (const Expression* e = call->callee.node.expression()) declare_is_names(*e);
          for (const parser::ArgumentItem& item : call->arguments) {
            parser::visit_node([&](const auto& a) { declare_is_names(*a.value); }, item.element.node);
          }
        } else if constexpr (std::is_same_v<T, Expression::TaggedString>) {
          declare_is_names(*n.tag);
          declare_is_names(*n.string);
        } else if constexpr (std::is_same_v<T, Expression::Access>) {
          declare_is_names(*n.object);
        } else if constexpr (std::is_same_v<T, Expression::Index>) {
          declare_is_names(*n.object);
          declare_is_names(*n.index);
        } else if constexpr (std::is_same_v<T, Expression::Slice>) {
          declare_is_names(*n.object);
          if (n.bounds->start) declare_is_names(*n.bounds->start);
          if (n.bounds->end) declare_is_names(*n.bounds->end);
        } else if constexpr (std::is_same_v<T, Expression::Prefix>) {
          declare_is_names(*n.operand);
        } else if constexpr (std::is_same_v<T, Expression::Infix>) {
          declare_is_names(*n.left);
          declare_is_names(*n.right);
        } else if constexpr (std::is_same_v<T, Expression::Is>) {
          declare_is_names(*n.expression);
          declare_pattern_names(*n.pattern, BindType::Init, false);
        } else {
          // Leaves, and the forms that open a scope of their own (blocks,
          // loops, conditionals, match, functions) and declare their contents
          // themselves.
        }
      },
      outer.node);
}

}  // namespace vaxo_core::emitter

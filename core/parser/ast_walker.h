// AstWalker: the two operations that every tree node and Token offer.
//
// collect_diagnostics(node, collector) moves the diagnostics stored in the
// tree into the compilation's collector, in tree order (each node's parts in
// source order, depth first; an Unknown node's own diagnostics before those
// of its tokens and of the node it wraps). It is destructive and runs exactly
// once per tree: every owned token takes the kind it stands for (Empty for
// placeholders), and every Unknown expression or pattern that has a recovered
// node is replaced by that node. Borrowed tokens are never touched.
//
// range(node) gives the half-open byte range of a node, computed from the
// tokens at its two ends. An absent part and an empty list have the absent
// range (ByteRange::absent()), the neutral value of min/max combination.
// Expression, Pattern and Statement hold theirs ready (see ast.h), so range()
// costs O(1) on them and never recurses far.
//
// collect_diagnostics recurses once per tree level; the parser bounds the
// tree's height.
#pragma once

#include <memory>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast.h"

namespace vaxo_core::parser {

using diagnostic::DiagnosticsCollector;

void collect_diagnostics(Token& token, DiagnosticsCollector& collector);
void collect_diagnostics(TokenRef& token, DiagnosticsCollector& collector);
void collect_diagnostics(Expression& expression, DiagnosticsCollector& collector);
void collect_diagnostics(Pattern& pattern, DiagnosticsCollector& collector);
void collect_diagnostics(Statement& statement, DiagnosticsCollector& collector);
void collect_diagnostics(Callable& callable, DiagnosticsCollector& collector);
void collect_diagnostics(ElseBlock& else_block, DiagnosticsCollector& collector);
void collect_diagnostics(MatchCase& match_case, DiagnosticsCollector& collector);
void collect_diagnostics(Iterable& iterable, DiagnosticsCollector& collector);
void collect_diagnostics(Range& range, DiagnosticsCollector& collector);
void collect_diagnostics(ParameterList& parameters, DiagnosticsCollector& collector);
void collect_diagnostics(Script& script, DiagnosticsCollector& collector);
void collect_diagnostics(ArrayLiteralItem& item, DiagnosticsCollector& collector);
void collect_diagnostics(ArgumentItem& item, DiagnosticsCollector& collector);
void collect_diagnostics(PatternItem& item, DiagnosticsCollector& collector);
void collect_diagnostics(RecordItem& item, DiagnosticsCollector& collector);
void collect_diagnostics(RecordPatternItem& item, DiagnosticsCollector& collector);

// A token's range, or the range a node recorded when it was built.
inline ByteRange range(const Token& token) { return token.range; }
inline ByteRange range(const TokenRef& token) { return token->range; }
inline ByteRange range(const Expression& expression) { return expression.cached_range(); }
inline ByteRange range(const Pattern& pattern) { return pattern.cached_range(); }
inline ByteRange range(const Statement& statement) { return statement.cached_range(); }
ByteRange range(const Callable& callable);
ByteRange range(const ElseBlock& else_block);
ByteRange range(const MatchCase& match_case);
ByteRange range(const Iterable& iterable);
ByteRange range(const Range& range);
ByteRange range(const ParameterList& parameters);
ByteRange range(const Script& script);
ByteRange range(const ArrayLiteralItem& item);
ByteRange range(const ArgumentItem& item);
ByteRange range(const PatternItem& item);
ByteRange range(const ArrayElementBase<Iterable, Expression>& element);
ByteRange range(const ArrayElementBase<Expression, Expression>& element);
ByteRange range(const ArrayElementBase<Pattern, Pattern>& element);

// Record members and their items: from the parts' ranges, in the header so
// a record's walk does not call out per member.
template <typename V, typename I>
ByteRange range(const RecordElementBase<V, I>& element) {
  using R = RecordElementBase<V, I>;
  return std::visit(
      [](const auto& n) -> ByteRange {
        using A = std::remove_cvref_t<decltype(n)>;
        if constexpr (std::is_same_v<A, typename R::Named>) {
          return ByteRange{range(n.name).start, range(n.value).end};
        } else if constexpr (std::is_same_v<A, typename R::InterpolateNamed>) {
          return ByteRange{range(n.name_expression).start, range(n.value).end};
        } else if constexpr (std::is_same_v<A, typename R::OmitNamed>) {
          return ByteRange{range(n.colon).start, range(n.value).end};
        } else if constexpr (std::is_same_v<A, typename R::Unnamed>) {
          return range(n.value);
        } else {
          return ByteRange{range(n.spread).start, range(n.value).end};
        }
      },
      element.node);
}
template <typename V, typename I>
ByteRange range(const ListItem<RecordElementBase<V, I>>& item) {
  ByteRange element = range(item.element);
  return item.comma ? ByteRange{element.start, range(*item.comma).end} : element;
}

// An optional or boxed part: its range, or the absent range.
template <typename T>
ByteRange range(const std::unique_ptr<T>& part) {
  return part ? range(*part) : ByteRange::absent();
}
template <typename T>
ByteRange range(const ElementBox<T>& part) {
  return part ? range(*part) : ByteRange::absent();
}
template <typename T>
ByteRange range(const std::optional<T>& part) {
  return part ? range(*part) : ByteRange::absent();
}

// A list: absent when empty, else the first element's start to the last
// element's end.
template <typename T>
ByteRange range(const NodeList<T>& list) {
  if (list.empty()) return ByteRange::absent();
  return ByteRange{range(list.front()).start, range(list.back()).end};
}

namespace helper {

// The range of an Unknown node: the smallest token start and the largest
// token end (from the absent range), widened to cover the recovered node.
ByteRange unknown_range(const std::unique_ptr<Expression>& recovered, const NodeList<TokenRef>& tokens);
ByteRange unknown_range(const std::unique_ptr<Pattern>& recovered, const NodeList<TokenRef>& tokens);

}  // namespace helper
}  // namespace vaxo_core::parser

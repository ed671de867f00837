#include "core/parser/ast_walker.h"

#include <algorithm>
#include <tuple>
#include <utility>
#include <variant>

#include "core/parser/ast_alternatives.h"

namespace vaxo_core::parser {
namespace {

template <typename... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};
template <typename... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

// ---- collect_diagnostics over the parts of a node -------------------------

using Collector = DiagnosticsCollector;

// Each part reports whether a node below it was replaced by its recovered
// node: only then do the heights and ranges above it need computing again.
bool collect_node(Expression& e, Collector& c);
bool collect_node(Pattern& p, Collector& c);
bool collect_node(Statement& s, Collector& c);

// Plain values and the plain token reference of an interpolated string hold
// nothing to collect.
bool collect_part(const Token*&, Collector&) { return false; }
bool collect_part(std::size_t&, Collector&) { return false; }
// Reached only through an Unknown node, which collect_unknown handles first.
bool collect_part(SourceDiagnostic&, Collector&) { return false; }
// A token keeps its range: nothing above it changes.
bool collect_part(TokenRef& t, Collector& c) {
  collect_diagnostics(t, c);
  return false;
}
bool collect_part(OptionalTokenRef& t, Collector& c) { return t ? collect_part(*t, c) : false; }
bool collect_part(Expression& e, Collector& c) { return collect_node(e, c); }
bool collect_part(Pattern& p, Collector& c) { return collect_node(p, c); }
bool collect_part(Statement& s, Collector& c) { return collect_node(s, c); }

template <typename T>
bool collect_part(std::unique_ptr<T>& p, Collector& c);
template <typename T>
bool collect_part(ElementBox<T>& p, Collector& c);
template <typename T>
bool collect_part(std::optional<T>& p, Collector& c);
template <typename T>
bool collect_part(NodeList<T>& list, Collector& c);
template <typename T>
  requires requires(T& t) { t.fields(); }
bool collect_part(T& t, Collector& c);
template <typename T>
  requires requires(T& t) { t.node.index(); }
bool collect_part(T& t, Collector& c);

template <typename T>
bool collect_part(std::unique_ptr<T>& p, Collector& c) {
  return p ? collect_part(*p, c) : false;
}
template <typename T>
bool collect_part(ElementBox<T>& p, Collector& c) {
  return p ? collect_part(*p, c) : false;
}
template <typename T>
bool collect_part(std::optional<T>& p, Collector& c) {
  return p ? collect_part(*p, c) : false;
}
template <typename T>
bool collect_part(NodeList<T>& list, Collector& c) {
  bool changed = false;
  for (T& e : list) changed |= collect_part(e, c);
  return changed;
}
// A struct: its fields in declared (source) order.
template <typename T>
  requires requires(T& t) { t.fields(); }
bool collect_part(T& t, Collector& c) {
  // Every field is walked: no short cut once one has changed.
  bool changed = false;
  std::apply([&](auto&... f) { ((changed = collect_part(f, c) || changed), ...); }, t.fields());
  return changed;
}
// A tagged union: the alternative it holds.
template <typename T>
  requires requires(T& t) { t.node.index(); }
bool collect_part(T& t, Collector& c) {
  return visit_node([&c](auto& alt) { return collect_part(alt, c); }, t.node);
}

// Errors first, then the tokens; then the recovered node, resolved before it
// takes the Unknown node's place. True when it did.
template <typename Node>
bool collect_unknown(Node& self, typename Node::Unknown& unknown, Collector& c) {
  c.append(unknown.errors);
  for (TokenRef& t : unknown.tokens) collect_diagnostics(t, c);
  if (!unknown.recovered) return false;
  std::unique_ptr<Node> recovered = std::move(unknown.recovered);
  collect_node(*recovered, c);
  self = std::move(*recovered);
  return true;
}

// A node whose parts hold no Unknown node and no owned token has nothing to
// collect and nothing to change.
bool collect_node(Expression& expression, Collector& collector) {
  if (!expression.holds_recovery) return false;
  if (auto* unknown = expression.get_if<Expression::Unknown>()) return collect_unknown(expression, *unknown, collector);
  if (!collect_part<Expression>(expression, collector)) return false;
  expression.refresh();
  return true;
}

bool collect_node(Pattern& pattern, Collector& collector) {
  if (!pattern.holds_recovery) return false;
  if (auto* unknown = pattern.get_if<Pattern::Unknown>()) return collect_unknown(pattern, *unknown, collector);
  if (!collect_part<Pattern>(pattern, collector)) return false;
  pattern.refresh();
  return true;
}

bool collect_node(Statement& statement, Collector& collector) {
  if (!statement.holds_recovery) return false;
  if (auto* unknown = statement.get_if<Statement::Unknown>()) {
    collector.append(unknown->errors);
    for (TokenRef& t : unknown->tokens) collect_diagnostics(t, collector);
    return false;
  }
  if (!collect_part<Statement>(statement, collector)) return false;
  statement.refresh();
  return true;
}

// ---- ranges --------------------------------------------------------------

ByteRange span(ByteRange first, ByteRange last) { return ByteRange{first.start, last.end}; }

template <typename T>
ByteRange unknown_range_of(const std::unique_ptr<T>& recovered, const NodeList<TokenRef>& tokens) {
  ByteRange r = ByteRange::absent();
  for (const TokenRef& t : tokens) {
    r.start = std::min(r.start, t->range.start);
    r.end = std::max(r.end, t->range.end);
  }
  if (recovered) {
    ByteRange inner = range(*recovered);
    r.start = std::min(r.start, inner.start);
    r.end = std::max(r.end, inner.end);
  }
  return r;
}

// The end of a loop or conditional: its else branch when there is one.
template <typename Body, typename Else>
ByteRange keyword_to_else(const TokenRef& keyword, const Body& body, const Else& else_block) {
  return else_block ? span(range(keyword), range(*else_block)) : span(range(keyword), range(body));
}

template <typename E, typename S>
ByteRange array_element_range(const ArrayElementBase<E, S>& element) {
  return visit_node(Overloaded{
                        [](const typename ArrayElementBase<E, S>::Element& e) { return range(e.value); },
                        [](const typename ArrayElementBase<E, S>::Spread& s) {
                          return span(range(s.spread), range(s.value));
                        },
                    },
                    element.node);
}

template <typename T>
ByteRange list_item_range(const ListItem<T>& item) {
  ByteRange element = range(item.element);
  return item.comma ? span(element, range(*item.comma)) : element;
}

}  // namespace

// ---- collect_diagnostics -------------------------------------------------

void collect_diagnostics(Token& token, DiagnosticsCollector& collector) {
  TokenKind old = std::exchange(token.kind, TokenKind(TokenKind::Empty{}));
  if (auto* unknown = old.get_if<TokenKind::Unknown>()) {
    collector.append(unknown->errors);
    // One level only: a nested recovery kind is installed as it is.
    token.kind = std::move(*unknown->recovered);
  }
}

void collect_diagnostics(TokenRef& token, DiagnosticsCollector& collector) {
  if (Token* owned = token.owned_token()) collect_diagnostics(*owned, collector);
}

void collect_diagnostics(Expression& expression, DiagnosticsCollector& collector) {
  collect_node(expression, collector);
}
void collect_diagnostics(Pattern& pattern, DiagnosticsCollector& collector) { collect_node(pattern, collector); }
void collect_diagnostics(Statement& statement, DiagnosticsCollector& collector) {
  collect_node(statement, collector);
}

void collect_diagnostics(Callable& x, DiagnosticsCollector& c) { collect_part<Callable>(x, c); }
void collect_diagnostics(ElseBlock& x, DiagnosticsCollector& c) { collect_part<ElseBlock>(x, c); }
void collect_diagnostics(MatchCase& x, DiagnosticsCollector& c) { collect_part<MatchCase>(x, c); }
void collect_diagnostics(Iterable& x, DiagnosticsCollector& c) { collect_part<Iterable>(x, c); }
void collect_diagnostics(Range& x, DiagnosticsCollector& c) { collect_part<Range>(x, c); }
void collect_diagnostics(ParameterList& x, DiagnosticsCollector& c) { collect_part<ParameterList>(x, c); }
void collect_diagnostics(Script& x, DiagnosticsCollector& c) { collect_part<Script>(x, c); }
void collect_diagnostics(ArrayLiteralItem& x, DiagnosticsCollector& c) { collect_part<ArrayLiteralItem>(x, c); }
void collect_diagnostics(ArgumentItem& x, DiagnosticsCollector& c) { collect_part<ArgumentItem>(x, c); }
void collect_diagnostics(PatternItem& x, DiagnosticsCollector& c) { collect_part<PatternItem>(x, c); }
void collect_diagnostics(RecordItem& x, DiagnosticsCollector& c) { collect_part<RecordItem>(x, c); }
void collect_diagnostics(RecordPatternItem& x, DiagnosticsCollector& c) { collect_part<RecordPatternItem>(x, c); }

// ---- range ---------------------------------------------------------------



// Each from the children's ranges, which nodes hold ready: O(1) per node.
// A node's constructor asks for its own alternative's (range_of): it knows
// the type, so no visit is needed.
namespace {
using E = Expression;
const Overloaded kExpressionRanges{
    [](const E::Literal& x) { return range(x.literal); },
    [](const E::InterpolatedString& x) { return x.token->range; },
    [](const E::Variable& x) { return range(x.name); },
    [](const E::Grouping& x) { return span(range(x.open_paren), range(x.close_paren)); },
    [](const E::Record& x) { return span(range(x.open), range(x.close)); },
    [](const E::Array& x) { return span(range(x.open_bracket), range(x.close_bracket)); },
    [](const E::Call& x) { return span(range(x.callee), range(x.close_paren)); },
    [](const E::TaggedString& x) { return span(range(x.tag), range(x.string)); },
    [](const E::Extension& x) { return span(range(x.receiver), range(x.call->close_paren)); },
    [](const E::Access& x) { return span(range(x.object), range(x.name)); },
    [](const E::Index& x) { return span(range(x.object), range(x.close_bracket)); },
    [](const E::Slice& x) { return span(range(x.object), range(x.close_bracket)); },
    [](const E::NonNil& x) { return span(range(x.expression), range(x.exclamation)); },
    [](const E::Prefix& x) { return span(range(x.op), range(x.operand)); },
    [](const E::Infix& x) { return span(range(x.left), range(x.right)); },
    [](const E::Is& x) { return span(range(x.expression), range(x.pattern)); },
    [](const E::Block& x) { return span(range(x.open_brace), range(x.close_brace)); },
    [](const E::Loop& x) { return span(range(x.loop_keyword), range(x.body)); },
    [](const E::While& x) { return keyword_to_else(x.while_keyword, x.body, x.else_block); },
    [](const E::ForIn& x) { return keyword_to_else(x.for_keyword, x.body, x.else_block); },
    [](const E::If& x) { return keyword_to_else(x.if_keyword, x.then_block, x.else_block); },
    [](const E::Cond& x) { return span(range(x.condition), range(x.otherwise->else_expression)); },
    [](const E::Match& x) { return span(range(x.match_keyword), range(x.body->close_brace)); },
    [](const E::Function& x) { return span(range(x.fn_keyword), range(x.body)); },
    [](const E::Unknown& x) { return helper::unknown_range(x.recovered, x.tokens); },
};
}  // namespace

ByteRange Expression::compute_range(const Node& node) { return std::visit(kExpressionRanges, node); }

namespace {
using P = Pattern;
const Overloaded kPatternRanges{
    [](const P::Grouping& x) { return span(range(x.open_paren), range(x.close_paren)); },
    [](const P::Literal& x) {
      return x.prefix ? span(range(*x.prefix), range(x.literal)) : range(x.literal);
    },
    [](const P::Constant& x) { return range(x.name); },
    [](const P::Relation& x) { return span(range(x.op), range(x.operand)); },
    [](const P::Range& x) { return span(range(x.start), range(x.end)); },
    [](const P::Discard& x) { return range(x.underscore); },
    [](const P::Bind& x) { return x.mut_keyword ? span(range(*x.mut_keyword), range(x.name)) : range(x.name); },
    [](const P::Record& x) { return span(range(x.open_paren), range(x.close_paren)); },
    [](const P::Array& x) { return span(range(x.open_bracket), range(x.close_bracket)); },
    [](const P::SpreadDiscard& x) { return ByteRange{x.position, x.position}; },
    [](const P::And& x) { return span(range(x.left), range(x.right)); },
    [](const P::Or& x) { return span(range(x.left), range(x.right)); },
    [](const P::Not& x) { return span(range(x.not_keyword), range(x.pattern)); },
    [](const P::Unknown& x) { return helper::unknown_range(x.recovered, x.tokens); },
};
}  // namespace

ByteRange Pattern::compute_range(const Node& node) { return std::visit(kPatternRanges, node); }

namespace {
using S = Statement;
const Overloaded kStatementRanges{
    [](const S::Empty& x) { return range(x.semicolon); },
    [](const S::Expression& x) { return span(range(x.expression), range(x.semicolon)); },
    [](const S::BlockExpression& x) { return range(x.expression); },
    [](const S::Bind& x) { return span(range(x.let_keyword), range(x.semicolon)); },
    [](const S::Rebind& x) { return span(range(x.pattern), range(x.semicolon)); },
    [](const S::Const& x) { return span(range(x.const_keyword), range(x.semicolon)); },
    [](const S::Assign& x) { return span(range(x.assignee), range(x.semicolon)); },
    [](const S::Function& x) { return span(range(x.fn_keyword), range(x.body)); },
    [](const S::Return& x) { return span(range(x.return_keyword), range(x.semicolon)); },
    [](const S::Break& x) { return span(range(x.break_keyword), range(x.semicolon)); },
    [](const S::Continue& x) { return span(range(x.continue_keyword), range(x.semicolon)); },
    [](const S::Unknown& x) { return range(x.tokens); },
};
}  // namespace

ByteRange Statement::compute_range(const Node& node) { return std::visit(kStatementRanges, node); }

// One overload set over the three kinds: their alternatives are distinct types.
const Overloaded kRanges{kExpressionRanges, kPatternRanges, kStatementRanges};

template <typename Self>
template <typename A>
ByteRange ast_detail::TreeNode<Self>::range_of(const A& alt) {
  return kRanges(alt);
}

#define VAXO_RANGE_OF(Node, Alt) template ByteRange ast_detail::TreeNode<Node>::range_of<Node::Alt>(const Node::Alt&);
VAXO_EXPRESSION_ALTERNATIVES(VAXO_RANGE_OF)
VAXO_PATTERN_ALTERNATIVES(VAXO_RANGE_OF)
VAXO_STATEMENT_ALTERNATIVES(VAXO_RANGE_OF)
#undef VAXO_RANGE_OF

ByteRange range(const Callable& callable) {
  return visit_node(Overloaded{
                        [](const Callable::Type& x) { return range(x.type_keyword); },
                        [](const Callable::ExpressionPart<const Expression>& x) { return range(x.expression); },
                    },
                    callable.node);
}

ByteRange range(const ElseBlock& x) { return span(range(x.else_keyword), range(x.body)); }
ByteRange range(const MatchCase& x) { return span(range(x.case_keyword), range(x.body)); }

ByteRange range(const Iterable& iterable) {
  return std::visit(Overloaded{
                        [](const Iterable::Range& x) { return range(x.range); },
                        [](const Iterable::Value& x) { return range(x.value); },
                    },
                    iterable.node);
}

ByteRange range(const Range& x) { return span(range(x.start), range(x.end)); }
ByteRange range(const ParameterList& x) { return span(range(x.open_paren), range(x.close_paren)); }

ByteRange range(const Script& script) {
  if (!script.statements.empty()) return span(range(script.statements.front()), range(script.eof));
  if (script.value) return span(range(script.value), range(script.eof));
  return range(script.eof);
}

ByteRange range(const ArrayLiteralItem& x) { return list_item_range(x); }
ByteRange range(const ArgumentItem& x) { return list_item_range(x); }
ByteRange range(const PatternItem& x) { return list_item_range(x); }
ByteRange range(const ArrayElementBase<Iterable, Expression>& x) { return array_element_range(x); }
ByteRange range(const ArrayElementBase<Expression, Expression>& x) { return array_element_range(x); }
ByteRange range(const ArrayElementBase<Pattern, Pattern>& x) { return array_element_range(x); }

namespace helper {

ByteRange unknown_range(const std::unique_ptr<Expression>& recovered, const NodeList<TokenRef>& tokens) {
  return unknown_range_of(recovered, tokens);
}
ByteRange unknown_range(const std::unique_ptr<Pattern>& recovered, const NodeList<TokenRef>& tokens) {
  return unknown_range_of(recovered, tokens);
}

}  // namespace helper
}  // namespace vaxo_core::parser


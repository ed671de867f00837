#include "core/parser/ast.h"

#include <algorithm>
#include <tuple>

#include "core/diagnostic/internal_error.h"
#include "core/parser/ast_alternatives.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser {
namespace {

// Summaries (ast_detail::kHoldsRecovery and the height) are read one level
// deep: a child node's was recorded when it was built, so nothing here
// recurses through nodes.
using ast_detail::kHoldsRecovery;

template <typename... S>
constexpr std::uint32_t combine_all(S... s) {
  std::uint32_t tallest = 0;
  std::uint32_t any = 0;
  ((tallest = std::max(tallest, s & ~kHoldsRecovery), any |= s), ...);
  return tallest | (any & kHoldsRecovery);
}

std::uint32_t part_summary(const TokenRef& t) { return t.is_owned() ? kHoldsRecovery : 0; }
std::uint32_t part_summary(const OptionalTokenRef& t) { return t ? part_summary(*t) : 0; }
std::uint32_t part_summary(const Token*) { return 0; }
std::uint32_t part_summary(std::size_t) { return 0; }
std::uint32_t part_summary(const SourceDiagnostic&) { return 0; }
template <typename N>
std::uint32_t node_summary(const N& n) {
  return n.height | (n.holds_recovery ? kHoldsRecovery : 0);
}
std::uint32_t part_summary(const Expression& e) { return node_summary(e); }
std::uint32_t part_summary(const Pattern& p) { return node_summary(p); }
std::uint32_t part_summary(const Statement& s) { return node_summary(s); }

template <typename T>
std::uint32_t part_summary(const std::unique_ptr<T>& p);
template <typename T>
std::uint32_t part_summary(const ElementBox<T>& p);
template <typename T>
std::uint32_t part_summary(const std::optional<T>& p);
template <typename T>
std::uint32_t part_summary(const NodeList<T>& list);
template <typename T>
  requires requires(const T& t) { t.fields(); }
std::uint32_t part_summary(const T& t);
template <typename T>
  requires requires(const T& t) { t.node.index(); }
std::uint32_t part_summary(const T& t);

template <typename T>
std::uint32_t part_summary(const std::unique_ptr<T>& p) {
  return p ? part_summary(*p) : 0;
}
template <typename T>
std::uint32_t part_summary(const ElementBox<T>& p) {
  return p ? part_summary(*p) : 0;
}
template <typename T>
std::uint32_t part_summary(const std::optional<T>& p) {
  return p ? part_summary(*p) : 0;
}
template <typename T>
std::uint32_t part_summary(const NodeList<T>& list) {
  std::uint32_t tallest = 0;
  std::uint32_t any = 0;
  for (const T& e : list) {
    const std::uint32_t s = part_summary(e);
    tallest = std::max(tallest, s & ~kHoldsRecovery);
    any |= s;
  }
  return tallest | (any & kHoldsRecovery);
}
template <typename T>
  requires requires(const T& t) { t.fields(); }
std::uint32_t part_summary(const T& t) {
  return std::apply([](const auto&... f) { return combine_all(part_summary(f)...); }, t.fields());
}
template <typename T>
  requires requires(const T& t) { t.node.index(); }
std::uint32_t part_summary(const T& t) {
  return visit_node([](const auto& alt) { return part_summary(alt); }, t.node);
}

// `own` levels above the tallest part; an Unknown node always holds recovery.
template <typename Unknown, typename A>
std::uint32_t alternative_summary(const A& alt, std::uint32_t own) {
  const std::uint32_t parts = part_summary(alt);
  const std::uint32_t unknown = std::is_same_v<A, Unknown> ? kHoldsRecovery : 0;
  return (own + (parts & ~kHoldsRecovery)) | (parts & kHoldsRecovery) | unknown;
}

// The levels of stack a node takes in the passes over the tree, beyond its
// parts' (TreeCost, parser_context.h).
template <typename A>
constexpr std::uint32_t own_levels() {
  using E = Expression;
  using P = Pattern;
  if constexpr (std::is_same_v<A, E::Extension>) return kTreeCost.extension;
  if constexpr (std::is_same_v<A, E::Array>) return kTreeCost.array;
  if constexpr (std::is_same_v<A, E::Record>) return kTreeCost.record;
  if constexpr (std::is_same_v<A, E::Index> || std::is_same_v<A, E::Slice>) return kTreeCost.index;
  if constexpr (std::is_same_v<A, E::TaggedString>) return kTreeCost.tagged;
  if constexpr (std::is_same_v<A, E::If>) return kTreeCost.if_else;
  if constexpr (std::is_same_v<A, E::ForIn>) return kTreeCost.for_in;
  if constexpr (std::is_same_v<A, E::Match>) return kTreeCost.match;
  if constexpr (std::is_same_v<A, P::Array>) return kTreeCost.array_pattern;
  if constexpr (std::is_same_v<A, P::Record>) return kTreeCost.record_pattern;
  if constexpr (std::is_same_v<A, E::Unknown> || std::is_same_v<A, P::Unknown> ||
                std::is_same_v<A, Statement::Unknown>)
    return kTreeCost.unknown;
  return 1;
}

std::uint32_t raise(std::uint32_t summary, std::uint32_t levels) {
  return ((summary & ~kHoldsRecovery) + levels) | (summary & kHoldsRecovery);
}

// A call's arguments take more stack than its callee: a suffix chain counts
// less than calls nested in arguments.
std::uint32_t call_summary(const Expression::Call& call) {
  const std::uint32_t callee = raise(part_summary(call.callee), kTreeCost.call_callee);
  const std::uint32_t arguments = part_summary(call.arguments);
  const std::uint32_t tokens = combine_all(part_summary(call.open_paren), part_summary(call.close_paren));
  return combine_all(callee, (arguments & ~kHoldsRecovery) != 0 ? raise(arguments, kTreeCost.call_arguments) : arguments,
                     tokens);
}

template <typename Unknown, typename A>
std::uint32_t own_summary(const A& alt) {
  if constexpr (std::is_same_v<A, Expression::Call>) {
    return call_summary(alt);
  } else {
    return alternative_summary<Unknown>(alt, own_levels<A>());
  }
}

template <typename Unknown, typename Node>
std::uint32_t node_summary_of(const Node& node) {
  return std::visit([](const auto& alt) { return own_summary<Unknown>(alt); }, node);
}

ByteRange first_to_last(const NodeList<TokenRef>& tokens) {
  if (tokens.empty()) throw InternalError("assertion failed: !tokens.is_empty()");
  return ByteRange{tokens.front()->range.start, tokens.back()->range.end};
}

}  // namespace

std::uint32_t Expression::compute_summary(const Node& node) { return node_summary_of<Unknown>(node); }
std::uint32_t Pattern::compute_summary(const Node& node) { return node_summary_of<Unknown>(node); }
std::uint32_t Statement::compute_summary(const Node& node) { return node_summary_of<Unknown>(node); }

template <typename Self>
template <typename A>
std::uint32_t ast_detail::TreeNode<Self>::summary_of(const A& alt) {
  return own_summary<typename Self::Unknown>(alt);
}

#define VAXO_SUMMARY_OF(Node, Alt) \
  template std::uint32_t ast_detail::TreeNode<Node>::summary_of<Node::Alt>(const Node::Alt&);
VAXO_EXPRESSION_ALTERNATIVES(VAXO_SUMMARY_OF)
VAXO_PATTERN_ALTERNATIVES(VAXO_SUMMARY_OF)
VAXO_STATEMENT_ALTERNATIVES(VAXO_SUMMARY_OF)
#undef VAXO_SUMMARY_OF

Expression Expression::unknown(NodeList<TokenRef> tokens, DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{nullptr, std::move(tokens), {SourceDiagnostic{range, error}}};
}

Expression Expression::unknown_range(NodeList<TokenRef> tokens, ByteRange error_range, DiagnosticCode error) {
  return Unknown{nullptr, std::move(tokens), {SourceDiagnostic{error_range, error}}};
}

Expression Expression::wrap_as_unknown(std::unique_ptr<Expression> expression, NodeList<TokenRef> tokens,
                                       DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{std::move(expression), std::move(tokens), {SourceDiagnostic{range, error}}};
}

Pattern Pattern::unknown(NodeList<TokenRef> tokens, DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{nullptr, std::move(tokens), {SourceDiagnostic{range, error}}};
}

Pattern Pattern::unknown_range(NodeList<TokenRef> tokens, ByteRange error_range, DiagnosticCode error) {
  return Unknown{nullptr, std::move(tokens), {SourceDiagnostic{error_range, error}}};
}

Pattern Pattern::wrap_as_unknown(std::unique_ptr<Pattern> pattern, NodeList<TokenRef> tokens, DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{std::move(pattern), std::move(tokens), {SourceDiagnostic{range, error}}};
}

Pattern Pattern::unknown_errors(NodeList<TokenRef> tokens, NodeList<SourceDiagnostic> errors) {
  return Unknown{nullptr, std::move(tokens), std::move(errors)};
}

Statement Statement::unknown(NodeList<TokenRef> tokens, DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{std::move(tokens), {SourceDiagnostic{range, error}}};
}

Statement Statement::unknown(TokenRef token, DiagnosticCode error) {
  NodeList<TokenRef> tokens;
  tokens.push_back(std::move(token));
  return unknown(std::move(tokens), error);
}

}  // namespace vaxo_core::parser

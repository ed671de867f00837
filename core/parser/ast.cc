#include "core/parser/ast.h"

#include <algorithm>
#include <tuple>

#include "core/diagnostic/internal_error.h"

namespace vaxo_core::parser {
namespace {

// Heights are read one level deep: a child node's height was recorded when it
// was built, so nothing here recurses through nodes.
std::uint32_t part_height(const TokenRef&) { return 0; }
std::uint32_t part_height(const Token*) { return 0; }
std::uint32_t part_height(std::size_t) { return 0; }
std::uint32_t part_height(const SourceDiagnostic&) { return 0; }
std::uint32_t part_height(const Expression& e) { return e.height; }
std::uint32_t part_height(const Pattern& p) { return p.height; }
std::uint32_t part_height(const Statement& s) { return s.height; }

template <typename T>
std::uint32_t part_height(const std::unique_ptr<T>& p);
template <typename T>
std::uint32_t part_height(const std::optional<T>& p);
template <typename T>
std::uint32_t part_height(const std::vector<T>& list);
template <typename T>
  requires requires(const T& t) { t.fields(); }
std::uint32_t part_height(const T& t);
template <typename T>
  requires requires(const T& t) { t.node.index(); }
std::uint32_t part_height(const T& t);

template <typename T>
std::uint32_t part_height(const std::unique_ptr<T>& p) {
  return p ? part_height(*p) : 0;
}
template <typename T>
std::uint32_t part_height(const std::optional<T>& p) {
  return p ? part_height(*p) : 0;
}
template <typename T>
std::uint32_t part_height(const std::vector<T>& list) {
  std::uint32_t h = 0;
  for (const T& e : list) h = std::max(h, part_height(e));
  return h;
}
template <typename T>
  requires requires(const T& t) { t.fields(); }
std::uint32_t part_height(const T& t) {
  return std::apply([](const auto&... f) { return std::max({std::uint32_t{0}, part_height(f)...}); }, t.fields());
}
template <typename T>
  requires requires(const T& t) { t.node.index(); }
std::uint32_t part_height(const T& t) {
  return std::visit([](const auto& alt) { return part_height(alt); }, t.node);
}

template <typename Node>
std::uint32_t node_height(const Node& node, std::uint32_t own = 1) {
  return own + std::visit([](const auto& alt) { return part_height(alt); }, node);
}

ByteRange first_to_last(const std::vector<TokenRef>& tokens) {
  if (tokens.empty()) throw InternalError("assertion failed: !tokens.is_empty()");
  return ByteRange{tokens.front()->range.start, tokens.back()->range.end};
}

}  // namespace

// The passes over the tree (the emitter above all) take about twice the
// stack for an extension call as for the other nodes.
std::uint32_t Expression::compute_height(const Node& node) {
  return node_height(node, std::holds_alternative<Extension>(node) ? 2 : 1);
}
std::uint32_t Pattern::compute_height(const Node& node) { return node_height(node); }
std::uint32_t Statement::compute_height(const Node& node) { return node_height(node); }

std::uint32_t height_of(const Expression& e) { return e.height; }
std::uint32_t height_of(const Pattern& p) { return p.height; }
std::uint32_t height_of(const Statement& s) { return s.height; }
std::uint32_t height_of(const Script& s) { return part_height(s); }
std::uint32_t height_of(const Iterable& i) { return part_height(i); }
std::uint32_t height_of(const ParameterList& p) { return part_height(p); }

Expression Expression::unknown(std::vector<TokenRef> tokens, DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{nullptr, std::move(tokens), {SourceDiagnostic{range, error}}};
}

Expression Expression::unknown_range(std::vector<TokenRef> tokens, ByteRange error_range, DiagnosticCode error) {
  return Unknown{nullptr, std::move(tokens), {SourceDiagnostic{error_range, error}}};
}

Expression Expression::wrap_as_unknown(Expression expression, std::vector<TokenRef> tokens, DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{boxed(std::move(expression)), std::move(tokens), {SourceDiagnostic{range, error}}};
}

Pattern Pattern::unknown(std::vector<TokenRef> tokens, DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{nullptr, std::move(tokens), {SourceDiagnostic{range, error}}};
}

Pattern Pattern::unknown_range(std::vector<TokenRef> tokens, ByteRange error_range, DiagnosticCode error) {
  return Unknown{nullptr, std::move(tokens), {SourceDiagnostic{error_range, error}}};
}

Pattern Pattern::wrap_as_unknown(Pattern pattern, std::vector<TokenRef> tokens, DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{boxed(std::move(pattern)), std::move(tokens), {SourceDiagnostic{range, error}}};
}

Pattern Pattern::unknown_errors(std::vector<TokenRef> tokens, std::vector<SourceDiagnostic> errors) {
  return Unknown{nullptr, std::move(tokens), std::move(errors)};
}

Statement Statement::unknown(std::vector<TokenRef> tokens, DiagnosticCode error) {
  ByteRange range = first_to_last(tokens);
  return Unknown{std::move(tokens), {SourceDiagnostic{range, error}}};
}

Statement Statement::unknown(TokenRef token, DiagnosticCode error) {
  std::vector<TokenRef> tokens;
  tokens.push_back(std::move(token));
  return unknown(std::move(tokens), error);
}

}  // namespace vaxo_core::parser

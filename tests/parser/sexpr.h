// A compact, parenthesised form of expressions and statements for the grammar
// tests: `(+ a (* b c))`. Tokens print as their text form; a parser-made token
// as `<?x>` (its recovery kind) and a placeholder as `?`; an absent part as
// `_`. Patterns print through the tree dump's first line, trimmed.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast.h"
#include "core/parser/ast_walker.h"

namespace vaxo_core::parser::testing {

inline std::string sx(const Expression& e);
inline std::string sx(const Statement& s);
inline std::string sx(const Pattern& p);
inline std::string sx(const Iterable& it);
inline std::string sx(const ElseBlock& e);
inline std::string sx(const Callable& c);
inline std::string sx(const TokenRef& t);
template <typename E, typename S>
std::string sx(const ListItem<ArrayElementBase<E, S>>& item);
template <typename V, typename I>
std::string sx(const ListItem<RecordElementBase<V, I>>& item);

inline std::string sx(const TokenRef& t) {
  if (t->kind.is_empty()) return "?";
  return t->to_string();
}

template <typename T>
std::string sx(const std::unique_ptr<T>& p) {
  return p ? sx(*p) : "_";
}
template <typename T>
std::string sx(const ElementBox<T>& p) {
  return p ? sx(*p) : "_";
}
template <typename T>
std::string sx(const std::optional<T>& p) {
  return p ? sx(*p) : "_";
}
inline std::string sx(const OptionalTokenRef& p) { return p ? sx(*p) : "_"; }

inline std::string join(const std::string& head, const std::vector<std::string>& parts) {
  std::string out = "(" + head;
  for (const auto& p : parts) out += " " + p;
  return out + ")";
}

inline std::string sx(const Iterable& it) {
  if (auto* r = std::get_if<Iterable::Range>(&it.node)) {
    return join(sx(r->range.op), {sx(r->range.start), sx(r->range.end)});
  }
  return sx(std::get<Iterable::Value>(it.node).value);
}

template <typename E, typename S>
std::string sx(const ListItem<ArrayElementBase<E, S>>& item) {
  std::string out;
  if (auto* s = item.element.as_spread()) {
    out = ".." + sx(s->value);
  } else {
    out = sx(item.element.as_element()->value);
  }
  if (item.comma && item.comma->is_owned()) out += "<,>";
  return out;
}

template <typename V, typename I>
std::string sx(const ListItem<RecordElementBase<V, I>>& item) {
  using B = RecordElementBase<V, I>;
  std::string out = std::visit(
      [](const auto& m) -> std::string {
        using M = std::decay_t<decltype(m)>;
        if constexpr (std::is_same_v<M, typename B::Named>) {
          return sx(m.name) + sx(m.colon) + sx(m.value);
        } else if constexpr (std::is_same_v<M, typename B::InterpolateNamed>) {
          return "$" + sx(m.colon) + sx(m.value);
        } else if constexpr (std::is_same_v<M, typename B::OmitNamed>) {
          return sx(m.colon) + sx(m.value);
        } else if constexpr (std::is_same_v<M, typename B::Unnamed>) {
          return sx(m.value);
        } else {
          return ".." + sx(m.value);
        }
      },
      item.element.node);
  if (item.comma && item.comma->is_owned()) out += "<,>";
  return out;
}

template <typename T>
std::vector<std::string> sx_all(const NodeList<T>& list) {
  std::vector<std::string> out;
  for (const auto& e : list) out.push_back(sx(e));
  return out;
}

inline std::string sx(const Callable& c) {
  if (c.node.as_type() != nullptr) return "type";
  const Expression* e = c.node.expression();
  return e != nullptr ? sx(*e) : "_";
}

inline std::string sx(const ElseBlock& e) { return sx(e.body); }

inline std::string sx(const Pattern& p) {
  if (auto* b = p.get_if<Pattern::Bind>()) return sx(b->name);
  if (auto* l = p.get_if<Pattern::Literal>()) return (l->prefix ? sx(*l->prefix) : "") + sx(l->literal);
  if (p.is<Pattern::Discard>()) return "_";
  if (auto* u = p.get_if<Pattern::Unknown>()) {
    if (u->tokens.size() == 1 && u->tokens[0]->kind.is_empty() && !u->recovered) return "?";
    std::vector<std::string> parts = sx_all(u->tokens);
    if (u->recovered) parts.push_back("| " + sx(*u->recovered));
    return join("unknown", parts);
  }
  if (auto* o = p.get_if<Pattern::Or>()) return join("or", {sx(o->left), sx(o->right)});
  if (auto* a = p.get_if<Pattern::And>()) return join("and", {sx(a->left), sx(a->right)});
  if (auto* a = p.get_if<Pattern::Array>()) return join("[]", sx_all(a->items));
  if (auto* r = p.get_if<Pattern::Record>()) return join("()", sx_all(r->elements));
  return "<pattern>";
}

inline std::string sx(const Expression& e) {
  using X = Expression;
  if (auto* n = e.get_if<X::Literal>()) return sx(n->literal);
  if (auto* n = e.get_if<X::Variable>()) return sx(n->name);
  if (auto* n = e.get_if<X::InterpolatedString>()) return join("str", sx_all(n->expressions));
  if (auto* n = e.get_if<X::Grouping>()) return join("group", {sx(n->expression)});
  if (auto* n = e.get_if<X::Record>()) {
    auto parts = sx_all(n->elements);
    parts.push_back(sx(n->close));
    return join(sx(n->open) == "{" ? "json" : "record", parts);
  }
  if (auto* n = e.get_if<X::Array>()) {
    auto parts = sx_all(n->items);
    parts.push_back(sx(n->close_bracket));
    return join("array", parts);
  }
  if (auto* n = e.get_if<X::Call>()) {
    std::vector<std::string> parts{sx(n->callee), sx(n->open_paren)};
    for (auto& a : sx_all(n->arguments)) parts.push_back(a);
    parts.push_back(sx(n->close_paren));
    return join("call", parts);
  }
  if (auto* n = e.get_if<X::TaggedString>()) return join("tag", {sx(n->tag), sx(n->string)});
  if (auto* n = e.get_if<X::Extension>()) {
    std::vector<std::string> parts{sx(n->receiver), sx(n->call->callee), sx(n->call->open_paren)};
    for (auto& a : sx_all(n->call->arguments)) parts.push_back(a);
    parts.push_back(sx(n->call->close_paren));
    return join("ext", parts);
  }
  if (auto* n = e.get_if<X::Access>()) return join(".", {sx(n->object), sx(n->name)});
  if (auto* n = e.get_if<X::Index>()) return join("index", {sx(n->object), sx(n->index)});
  if (auto* n = e.get_if<X::Slice>()) {
    return join("slice", {sx(n->object), sx(n->bounds->start), sx(n->bounds->op), sx(n->bounds->end)});
  }
  if (auto* n = e.get_if<X::NonNil>()) return join("!!", {sx(n->expression)});
  if (auto* n = e.get_if<X::Prefix>()) return join(sx(n->op), {sx(n->operand)});
  if (auto* n = e.get_if<X::Infix>()) return join(sx(n->op), {sx(n->left), sx(n->right)});
  if (auto* n = e.get_if<X::Is>()) return join("is", {sx(n->expression), sx(n->pattern)});
  if (auto* n = e.get_if<X::Cond>()) {
    return join("?", {sx(n->condition), sx(n->then_expression), sx(n->otherwise->colon),
                      sx(n->otherwise->else_expression)});
  }
  if (auto* n = e.get_if<X::Block>()) {
    auto parts = sx_all(n->statements);
    parts.push_back("=> " + sx(n->value));
    return join(sx(n->open_brace) + sx(n->close_brace), parts);
  }
  if (auto* n = e.get_if<X::Loop>()) return join("loop", {sx(n->body)});
  if (auto* n = e.get_if<X::While>()) return join("while", {sx(n->condition), sx(n->body), sx(n->else_block)});
  if (auto* n = e.get_if<X::ForIn>()) {
    return join("for", {sx(n->source->pattern), sx(n->source->iterable), sx(n->body), sx(n->else_block)});
  }
  if (auto* n = e.get_if<X::If>()) return join("if", {sx(n->condition), sx(n->then_block), sx(n->else_block)});
  if (auto* n = e.get_if<X::Match>()) {
    std::vector<std::string> parts{sx(n->value), sx(n->body->open_brace)};
    for (const MatchCase& c : n->body->cases) {
      std::string guard = c.guard ? " if " + sx(c.guard->condition) : "";
      parts.push_back("[" + sx(c.case_keyword) + " " + sx(c.pattern) + guard + " " + sx(c.body) + "]");
    }
    parts.push_back(sx(n->body->close_brace));
    return join("match", parts);
  }
  if (auto* n = e.get_if<X::Function>()) {
    return join("fn", {n->parameters ? std::to_string(n->parameters->items.size()) : "_", sx(n->body)});
  }
  if (auto* n = e.get_if<X::Unknown>()) {
    if (n->tokens.size() == 1 && n->tokens[0]->kind.is_empty() && !n->recovered) return "?";
    std::vector<std::string> parts = sx_all(n->tokens);
    if (n->recovered) parts.push_back("| " + sx(*n->recovered));
    return join("unknown", parts);
  }
  return "<expression>";
}

inline std::string sx(const Statement& s) {
  using S = Statement;
  if (s.get_if<S::Empty>()) return ";";
  if (auto* n = s.get_if<S::Expression>()) return sx(n->expression) + sx(n->semicolon);
  if (auto* n = s.get_if<S::BlockExpression>()) return sx(n->expression);
  if (auto* n = s.get_if<S::Bind>()) {
    return join("let", {sx(n->pattern), sx(n->equals), sx(n->value)}) + sx(n->semicolon);
  }
  if (auto* n = s.get_if<S::Rebind>()) return join("rebind", {sx(n->pattern), sx(n->value)}) + sx(n->semicolon);
  if (auto* n = s.get_if<S::Const>()) {
    return join("const", {sx(n->name), sx(n->equals), sx(n->value)}) + sx(n->semicolon);
  }
  if (auto* n = s.get_if<S::Assign>()) {
    return join(sx(n->op), {sx(n->assignee), sx(n->value)}) + sx(n->semicolon);
  }
  if (auto* n = s.get_if<S::Function>()) {
    return join("fn", {sx(n->name), n->parameters ? std::to_string(n->parameters->items.size()) : "_", sx(n->body)});
  }
  if (auto* n = s.get_if<S::Return>()) return join("return", {sx(n->value)}) + sx(n->semicolon);
  if (auto* n = s.get_if<S::Break>()) return join("break", {sx(n->value)}) + sx(n->semicolon);
  if (auto* n = s.get_if<S::Continue>()) return "(continue)" + sx(n->semicolon);
  if (auto* n = s.get_if<S::Unknown>()) return join("unknown", sx_all(n->tokens));
  return "<statement>";
}

// The diagnostics a tree carries, collected by the walker (destructive) and
// printed as `Code start..end`, in tree order.
template <typename Node>
std::vector<std::string> diagnostics_of(Node& node, std::string_view text) {
  config::Config config;
  diagnostic::DiagnosticsCollector collector(config, text);
  collect_diagnostics(node, collector);
  std::vector<std::string> out;
  for (const auto& d : collector) {
    out.push_back(std::string(diagnostic::name(d.error)) + " " + std::to_string(d.range.start) + ".." +
                  std::to_string(d.range.end));
  }
  return out;
}

}  // namespace vaxo_core::parser::testing

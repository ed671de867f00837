#include "core/parser/tree_release.h"

#include <new>
#include <tuple>
#include <utility>
#include <variant>

namespace vaxo_core::parser {
namespace {

// Frees what the parts own outside the arena; everything else stays as it is,
// to go with the arena.
void drop_owned(Expression& e);
void drop_owned(Pattern& p);
void drop_owned(Statement& s);

void drop_part(const Token*&) {}
void drop_part(std::size_t&) {}
void drop_part(SourceDiagnostic&) {}
void drop_part(TokenRef& t) {
  if (t.is_owned()) TokenRef dead = std::move(t);
}
void drop_part(OptionalTokenRef& t) {
  if (t) drop_part(*t);
}
void drop_part(Expression& e) { drop_owned(e); }
void drop_part(Pattern& p) { drop_owned(p); }
void drop_part(Statement& s) { drop_owned(s); }

template <typename T>
void drop_part(std::unique_ptr<T>& p);
template <typename T>
void drop_part(ElementBox<T>& p);
template <typename T>
void drop_part(std::optional<T>& p);
template <typename T>
  requires requires(T& t) { t.fields(); }
void drop_part(T& t);
template <typename T>
  requires requires(T& t) { t.node.index(); }
void drop_part(T& t);
template <typename T>
  requires requires(T& t) { t.begin(); t.end(); }
void drop_part(T& list);

template <typename T>
void drop_part(std::unique_ptr<T>& p) {
  // The box is left to go with the arena: one the arena did not allocate
  // would leak.
  static_assert(requires(std::size_t n) { T::operator new(n); }, "a boxed tree part must come from the node arena");
  if (p) drop_part(*p);
}
template <typename T>
void drop_part(ElementBox<T>& p) {
  static_assert(requires(std::size_t n) { T::operator new(n); }, "a boxed tree part must come from the node arena");
  if (p) drop_part(*p);
}
template <typename T>
void drop_part(std::optional<T>& p) {
  if (p) drop_part(*p);
}
template <typename T>
  requires requires(T& t) { t.fields(); }
void drop_part(T& t) {
  std::apply([](auto&... f) { (drop_part(f), ...); }, t.fields());
}
template <typename T>
  requires requires(T& t) { t.node.index(); }
void drop_part(T& t) {
  visit_node([](auto& alt) { drop_part(alt); }, t.node);
}
template <typename T>
  requires requires(T& t) { t.begin(); t.end(); }
void drop_part(T& list) {
  for (auto& e : list) drop_part(e);
}

void drop_owned(Expression& e) {
  if (e.holds_recovery) drop_part<Expression>(e);
}
void drop_owned(Pattern& p) {
  if (p.holds_recovery) drop_part<Pattern>(p);
}
void drop_owned(Statement& s) {
  if (s.holds_recovery) drop_part<Statement>(s);
}

}  // namespace

void release_tree(Script& script, NodeArena::Scope& arena) noexcept {
  drop_part(script);
  // The root's parts are moved into a block that is never destroyed, so that
  // `script` frees nothing later.
  auto* abandoned = new (NodeArena::allocate(sizeof(Script))) Script(std::move(script));
  if (!arena.discard()) {
    abandoned->~Script();
    NodeArena::deallocate(abandoned, sizeof(Script));
  }
}

}  // namespace vaxo_core::parser

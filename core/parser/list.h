// List items and element types of the comma-separated lists of the tree.
//
// ListItem<T>: one entry of a list with the comma that followed it (real,
// inserted, or none). ArrayElementBase<E, S>: an item of an array literal,
// argument list, array pattern or parameter list; an element or a spread.
// RecordElementBase<V, I>: a member of a record literal, JSON-style literal or
// record pattern. Each owns its values; element and operand nodes are boxed so
// the types can be declared before the node types they hold.
#pragma once

#include <memory>
#include <optional>
#include <utility>
#include <variant>

#include "core/parser/fields.h"
#include "core/parser/token_ref.h"

namespace vaxo_core::parser {

template <typename T>
struct ListItem {
  T element;
  OptionalTokenRef comma;

  VAXO_FIELDS(element, comma)

  // An item without comma (`new` in the vocabulary of the tree).
  static ListItem make(T element) { return ListItem{std::move(element), std::nullopt}; }
  static ListItem new_with_comma(T element, TokenRef comma) {
    return ListItem{std::move(element), OptionalTokenRef(std::move(comma))};
  }

  // The element; the comma is dropped.
  T unwrap() && { return std::move(element); }
  // The comma token itself (not the reference), or nullptr.
  const Token* tail_comma() const { return comma ? &comma->get() : nullptr; }
  bool has_tail_comma() const { return comma.has_value(); }

  T& operator*() { return element; }
  const T& operator*() const { return element; }
  T* operator->() { return &element; }
  const T* operator->() const { return &element; }
};

template <typename E, typename S>
struct ArrayElementBase {
  struct Element {
    std::unique_ptr<E> value;
    VAXO_FIELDS(value)
  };
  struct Spread {
    TokenRef spread;  // ".."
    std::unique_ptr<S> value;
    VAXO_FIELDS(spread, value)
  };

  std::variant<Element, Spread> node;

  static ArrayElementBase element(E value) { return ArrayElementBase{Element{std::make_unique<E>(std::move(value))}}; }
  static ArrayElementBase spread(TokenRef dots, S value) {
    return ArrayElementBase{Spread{std::move(dots), std::make_unique<S>(std::move(value))}};
  }

  bool is_spread() const { return std::holds_alternative<Spread>(node); }
  Element* as_element() { return std::get_if<Element>(&node); }
  const Element* as_element() const { return std::get_if<Element>(&node); }
  Spread* as_spread() { return std::get_if<Spread>(&node); }
  const Spread* as_spread() const { return std::get_if<Spread>(&node); }
};

template <typename V, typename I>
struct RecordElementBase {
  struct Named {
    TokenRef name;   // identifier, keyword, ordinal or string
    TokenRef colon;  // ":" or "?:"
    std::unique_ptr<V> value;
    VAXO_FIELDS(name, colon, value)
  };
  struct InterpolateNamed {
    std::unique_ptr<I> name_expression;  // the key given by an interpolated string
    TokenRef colon;
    std::unique_ptr<V> value;
    VAXO_FIELDS(name_expression, colon, value)
  };
  struct OmitNamed {
    TokenRef colon;  // the key is taken from the value
    std::unique_ptr<V> value;
    VAXO_FIELDS(colon, value)
  };
  struct Unnamed {
    std::unique_ptr<V> value;
    VAXO_FIELDS(value)
  };
  struct Spread {
    TokenRef spread;  // ".."
    std::unique_ptr<V> value;
    VAXO_FIELDS(spread, value)
  };

  std::variant<Named, InterpolateNamed, OmitNamed, Unnamed, Spread> node;

  bool is_unnamed() const { return std::holds_alternative<Unnamed>(node); }
  bool is_spread() const { return std::holds_alternative<Spread>(node); }

  // The colon token (":" or "?:") of Named, InterpolateNamed and OmitNamed;
  // nullptr for Unnamed and Spread.
  const Token* colon() const {
    if (auto* n = std::get_if<Named>(&node)) return &n->colon.get();
    if (auto* n = std::get_if<InterpolateNamed>(&node)) return &n->colon.get();
    if (auto* n = std::get_if<OmitNamed>(&node)) return &n->colon.get();
    return nullptr;
  }
};

}  // namespace vaxo_core::parser

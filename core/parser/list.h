// List items and element types of the comma-separated lists of the tree.
//
// ListItem<T>: one entry of a list with the comma that followed it (real,
// inserted, or none). ArrayElementBase<E, S>: an item of an array literal,
// argument list, array pattern or parameter list; an element or a spread.
// RecordElementBase<V, I>: a member of a record literal, JSON-style literal or
// record pattern. Each owns its values; element and operand nodes are boxed so
// the types can be declared before the node types they hold.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
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

  // What the tree uses of a std::variant<Element, Spread> (index(), visit(),
  // the alternatives by pointer), in two words where the variant takes three:
  // a Spread starts with its ".." token, never empty while it is held here,
  // and an Element is an empty word followed by its value. A Spread whose
  // token is moved out must be replaced before the node is read again.
  class Node {
   public:
    Node(Element element) noexcept : element_{0, std::move(element)} {}  // NOLINT: implicit, like the variant's
    Node(Spread spread) noexcept : spread_(std::move(spread)) {}         // NOLINT: implicit
    Node(Node&& other) noexcept { take(other); }
    Node& operator=(Node&& other) noexcept {
      if (this != &other) {
        destroy();
        take(other);
      }
      return *this;
    }
    ~Node() { destroy(); }

    std::size_t index() const { return is_spread() ? 1 : 0; }
    Element* as_element() { return is_spread() ? nullptr : &element_.element; }
    const Element* as_element() const { return is_spread() ? nullptr : &element_.element; }
    Spread* as_spread() { return is_spread() ? &spread_ : nullptr; }
    const Spread* as_spread() const { return is_spread() ? &spread_ : nullptr; }

    template <typename F>
    decltype(auto) visit(F&& f) {
      if (is_spread()) return std::forward<F>(f)(spread_);
      return std::forward<F>(f)(element_.element);
    }
    template <typename F>
    decltype(auto) visit(F&& f) const {
      if (is_spread()) return std::forward<F>(f)(static_cast<const Spread&>(spread_));
      return std::forward<F>(f)(static_cast<const Element&>(element_.element));
    }

   private:
    struct Slot {
      std::uintptr_t empty;
      Element element;
    };
    static_assert(sizeof(Spread) == 2 * sizeof(std::uintptr_t) && sizeof(Slot) == sizeof(Spread));

    // The first word whichever member is active: its bytes, not a member read.
    bool is_spread() const {
      std::uintptr_t w;
      std::memcpy(&w, static_cast<const void*>(this), sizeof w);
      return w != 0;
    }
    // Leaves `other` an Element with no value, like a moved-from variant.
    void take(Node& other) noexcept {
      if (other.is_spread()) {
        ::new (static_cast<void*>(&spread_)) Spread(std::move(other.spread_));
        other.spread_.~Spread();
        ::new (static_cast<void*>(&other.element_)) Slot{0, Element{nullptr}};
      } else {
        ::new (static_cast<void*>(&element_)) Slot{0, std::move(other.element_.element)};
      }
    }
    void destroy() noexcept {
      if (is_spread()) {
        spread_.~Spread();
      } else {
        element_.~Slot();
      }
    }

    union {
      Slot element_;
      Spread spread_;
    };
  };

  Node node;

  static ArrayElementBase element(E value) { return ArrayElementBase{Element{std::make_unique<E>(std::move(value))}}; }
  static ArrayElementBase spread(TokenRef dots, S value) {
    return ArrayElementBase{Spread{std::move(dots), std::make_unique<S>(std::move(value))}};
  }

  bool is_spread() const { return node.index() == 1; }
  Element* as_element() { return node.as_element(); }
  const Element* as_element() const { return node.as_element(); }
  Spread* as_spread() { return node.as_spread(); }
  const Spread* as_spread() const { return node.as_spread(); }
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

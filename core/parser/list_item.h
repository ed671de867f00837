// List items and element types of the comma-separated lists of the tree.
//
// ListItem<T>: one entry of a list with the comma that followed it (real,
// inserted, or none). ArrayElementBase<E, S>: an item of an array literal,
// argument list, array pattern or parameter list; an element or a spread.
// RecordElementBase<V, I>: a member of a record literal, JSON-style literal or
// record pattern. Each owns its values; element and operand nodes are boxed so
// the types can be declared before the node types they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
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

// The owning pointer of an array element's value: what std::unique_ptr does,
// but standard layout by construction, so that the element node's two
// alternatives may share their first member (see ArrayElementBase::Node).
template <typename T>
class ElementBox {
 public:
  ElementBox() noexcept = default;
  ElementBox(std::nullptr_t) noexcept {}                                   // NOLINT: implicit
  ElementBox(std::unique_ptr<T>&& owned) noexcept : p_(owned.release()) {}  // NOLINT: implicit
  ElementBox(ElementBox&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ElementBox& operator=(ElementBox&& other) noexcept {
    if (this != &other) {
      free();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ElementBox(const ElementBox&) = delete;
  ElementBox& operator=(const ElementBox&) = delete;
  ~ElementBox() { free(); }

  // Hands the value over to a std::unique_ptr.
  operator std::unique_ptr<T>() && noexcept { return std::unique_ptr<T>(std::exchange(p_, nullptr)); }  // NOLINT

  T* get() const noexcept { return p_; }
  T& operator*() const { return *p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  friend bool operator==(const ElementBox& box, std::nullptr_t) noexcept { return box.p_ == nullptr; }

 private:
  // Through the class's operator delete, as std::unique_ptr would.
  void free() noexcept {
    static_assert(sizeof(T) > 0, "the value's type must be complete where it is freed");
    delete p_;
  }

  T* p_ = nullptr;
};

template <typename E, typename S>
struct ArrayElementBase {
  struct Element {
    ElementBox<E> value;
    VAXO_FIELDS(value)
  };
  struct Spread {
    TokenRef spread;  // ".."
    ElementBox<S> value;
    VAXO_FIELDS(spread, value)
  };

  // What the tree uses of a std::variant<Element, Spread> (index(), visit(),
  // the alternatives by pointer), in two words where the variant takes three.
  // Both alternatives start with a TokenRef: a Spread its "..", an Element a
  // word no reference holds. The two structs are standard layout, so that
  // first member may be read whichever of them is active. A Spread whose
  // token was moved out is still a Spread.
  class Node {
   public:
    Node(Element element) noexcept : element_(std::move(element)) {}  // NOLINT: implicit, like the variant's
    Node(Spread spread) noexcept : spread_(std::move(spread)) {}       // NOLINT: implicit
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
      explicit Slot(Element e) noexcept : mark(TokenRef(TokenRef::kUnheld)), element(std::move(e)) {}
      TokenRef mark;  // never moved out, never read as a token
      Element element;
    };
    // The common initial sequence of the union's members, a TokenRef, may be
    // read through either of them.
    static_assert(std::is_standard_layout_v<TokenRef> && std::is_standard_layout_v<Slot> &&
                  std::is_standard_layout_v<Spread>);
    static_assert(offsetof(Slot, mark) == 0 && offsetof(Spread, spread) == 0);
    static_assert(sizeof(Spread) == 2 * sizeof(std::uintptr_t) && sizeof(Slot) == sizeof(Spread));

    bool is_spread() const { return element_.mark.bits_ != TokenRef::kUnheld; }
    // Leaves `other` an Element with no value, like a moved-from variant.
    void take(Node& other) noexcept {
      if (other.is_spread()) {
        std::construct_at(&spread_, std::move(other.spread_));
        std::destroy_at(&other.spread_);
        std::construct_at(&other.element_, Element{nullptr});
      } else {
        std::construct_at(&element_, std::move(other.element_.element));
      }
    }
    void destroy() noexcept {
      if (is_spread()) {
        std::destroy_at(&spread_);
      } else {
        std::destroy_at(&element_);
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

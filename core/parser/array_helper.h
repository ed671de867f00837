// The bracketed list grammar: a comma-separated list in which an entry may be
// a spread (`..` and an operand). One implementation serves array literals,
// the three kinds of argument lists, array patterns and parameter lists; the
// uses differ only in the parsers they pass.
//
// Once its opener is read a list never fails: a missing comma or closer is
// inserted as a zero-width owned token carrying its diagnostic, a comma where
// an entry should begin is an empty slot holding the `missing` placeholder
// (at the comma's start), and the list ends, without consuming it, at the
// first token that starts no entry.
//
// Parsers are callables `std::optional<T>(ParserContext&)`, or
// `std::unique_ptr<T>(ParserContext&)` for a node built in its box; `missing`
// is a callable from a byte offset to an element.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/diagnostic/internal_error.h"
#include "core/lexer/combinator.h"
#include "core/parser/ast.h"
#include "core/parser/helper.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser {

// What a list parser returns: the opening token, the entries in source
// order, the closing token (real or inserted).
template <typename Item>
using ListParts = std::tuple<TokenRef, NodeList<Item>, TokenRef>;

namespace list_detail {

template <typename R>
struct parsed;
template <typename T>
struct parsed<std::optional<T>> {
  using type = T;
};
template <typename T>
struct parsed<std::unique_ptr<T>> {
  using type = T;
};
template <typename P>
using parsed_t = typename parsed<std::invoke_result_t<P&, ParserContext&>>::type;

// A parser's result as the box the entry keeps: a boxed one as it is.
template <typename T>
std::unique_ptr<T> into_box(std::unique_ptr<T>&& value) {
  return std::move(value);
}
template <typename T>
std::unique_ptr<T> into_box(std::optional<T>&& value) {
  return std::make_unique<T>(std::move(*value));
}
template <typename T>
std::unique_ptr<T> into_box(T&& value) {
  return std::make_unique<T>(std::move(value));
}

// The comma after an entry: none before a comma-free follower, else the real
// `,` or one inserted at previous_token_end. nullopt when no token is left.
[[gnu::always_inline]] inline std::optional<std::optional<TokenRef>> entry_comma(ParserContext& ctx) {
  const Token* after = ctx.peek();
  if (after == nullptr) return std::nullopt;
  if (*after == Operator::Comma) {
    ctx.next();
    return std::optional<TokenRef>(TokenRef::borrow(*after));
  }
  if (helper::is_comma_free_follower(*after)) return std::optional<TokenRef>();
  return std::optional<TokenRef>(helper::inserted_token(ctx, Operator::Comma, DiagnosticCode::MissingComma));
}

// The entries of the lists open inside each other, on one stack per entry
// type and thread: a list reads its own onto the top and takes them off when
// it is made, so it costs no allocation of its own. Once no list is open, a
// stack keeps at most kKeptStackBytes (some hundreds of entries) for the
// thread's next lists, and frees what a longer list made it hold; there are
// about half a dozen stacks.
inline constexpr std::size_t kKeptStackBytes = std::size_t{16} << 10;

template <typename Item>
class Pending {
 public:
  Pending() : stack_(stack()), base_(stack_.size()) {}
  ~Pending() {
    stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(base_), stack_.end());
    if (base_ == 0 && stack_.capacity() * sizeof(Item) > kKeptStackBytes) std::vector<Item>().swap(stack_);
  }
  Pending(const Pending&) = delete;
  Pending& operator=(const Pending&) = delete;

  void push(Item&& item) { stack_.push_back(std::move(item)); }
  // This list's entries, valid until the next push.
  std::span<Item> items() { return {stack_.data() + base_, stack_.size() - base_}; }

 private:
  static std::vector<Item>& stack() {
    thread_local std::vector<Item> s;
    return s;
  }

  std::vector<Item>& stack_;
  std::size_t base_;
};

// The list items whose parts are all one-word owners and references
// (tokens, boxes, the comma), with nothing pointing into an item: their
// bytes are the whole of them, so they may be relocated by copying those.
template <typename Item>
struct relocatable : std::false_type {};
template <typename E, typename S>
struct relocatable<ListItem<ArrayElementBase<E, S>>> : std::true_type {};
template <typename V, typename I>
struct relocatable<ListItem<RecordElementBase<V, I>>> : std::true_type {};

// Pending for relocatable items: an entry goes from where its rule built it
// onto the stack and on into its list by its bytes, where a move and a
// destroy each would dispatch on its alternative.
template <typename Item>
class RelocatedPending {
 public:
  RelocatedPending() : stack_(stack()), base_(stack_.size) {}
  ~RelocatedPending() {
    // Only when the list was left unmade (the parse gave up).
    for (std::size_t i = base_; i < stack_.size; ++i) stack_.data[i].~Item();
    stack_.size = base_;
    if (base_ == 0 && stack_.capacity * sizeof(Item) > kKeptStackBytes) stack_.release();
  }
  RelocatedPending(const RelocatedPending&) = delete;
  RelocatedPending& operator=(const RelocatedPending&) = delete;

  std::size_t size() const { return stack_.size - base_; }
  // Takes `item` over: its storage is left holding no object.
  void relocate_in(Item& item) {
    if (stack_.size == stack_.capacity) stack_.grow();
    std::memcpy(static_cast<void*>(stack_.data + stack_.size), static_cast<const void*>(&item), sizeof(Item));
    ++stack_.size;
  }
  // Moves this list's entries to the end of `list`, which has room for them.
  void relocate_into(NodeList<Item>& list) {
    list.relocate_back(stack_.data + base_, size());
    stack_.size = base_;
  }

 private:
  struct Stack {
    Item* data = nullptr;
    std::size_t size = 0;
    std::size_t capacity = 0;
    ~Stack() { release(); }
    void grow() { grow_relocating(data, size, capacity, 64); }
    void release() {
      for (std::size_t i = 0; i < size; ++i) data[i].~Item();
      ::operator delete(data);
      data = nullptr;
      size = capacity = 0;
    }
  };
  static Stack& stack() {
    thread_local Stack s;
    return s;
  }

  Stack& stack_;
  std::size_t base_;
};

// The entries `entry` reads, one after another until it fails (its failure
// consumes nothing), in a list of exactly their count.
template <typename Item, typename Entry>
NodeList<Item> read_entries(ParserContext& ctx, const Entry& entry) {
  if constexpr (relocatable<Item>::value) {
    RelocatedPending<Item> pending;
    // Each result is built here and its bytes taken; the storage is reused
    // without a destructor, as it then holds no object.
    alignas(std::optional<Item>) unsigned char raw[sizeof(std::optional<Item>)];
    for (;;) {
      const auto before = ctx.checkpoint();
      auto* item = ::new (static_cast<void*>(raw)) std::optional<Item>(entry(ctx));
      if (!*item) {
        ctx.reset(before);
        break;
      }
      if (ctx.checkpoint() == before) {
        item->reset();
        throw InternalError("`repeat` parsers must always consume");
      }
      pending.relocate_in(**item);
    }
    NodeList<Item> items;
    items.reserve(pending.size());
    pending.relocate_into(items);
    return items;
  } else {
    Pending<Item> pending;
    for (;;) {
      const auto before = ctx.checkpoint();
      std::optional<Item> item = entry(ctx);
      if (!item) {
        ctx.reset(before);
        break;
      }
      if (ctx.checkpoint() == before) throw InternalError("`repeat` parsers must always consume");
      pending.push(std::move(*item));
    }
    NodeList<Item> items;
    items.reserve(pending.items().size());
    for (Item& item : pending.items()) items.push_back(std::move(item));
    return items;
  }
}

}  // namespace list_detail

namespace array_helper {

// One entry: an empty slot, a spread or an element, with its comma. Fails,
// consuming nothing, where the list ends.
template <typename Element, typename Spread, typename Missing>
auto array_element(Element element, Spread spread, Missing missing) {
  using E = list_detail::parsed_t<Element>;
  using S = list_detail::parsed_t<Spread>;
  using Base = ArrayElementBase<E, S>;
  using Item = ListItem<Base>;
  return [=](ParserContext& ctx) -> std::optional<Item> {
    const Token* next = ctx.peek();
    if (next == nullptr) return std::nullopt;
    if (*next == Operator::Comma) {
      ctx.next();
      return Item::new_with_comma(Base{typename Base::Element{list_detail::into_box<E>(missing(next->range.start))}},
                                  TokenRef::borrow(*next));
    }
    if (helper::is_list_closer(*next)) return std::nullopt;

    // Each entry is built where it is returned, after its comma is known:
    // an entry is moved only into its list.
    auto start = ctx.checkpoint();
    if (*next == Operator::SpreadRange) {
      ctx.next();
      auto operand = spread(ctx);
      if (!operand) {
        ctx.reset(start);
        return std::nullopt;
      }
      auto comma = list_detail::entry_comma(ctx);
      if (!comma) {
        ctx.reset(start);
        return std::nullopt;
      }
      return make_optional_aggregate<Item>(
                                 Base{typename Base::Spread{TokenRef::borrow(*next),
                                                            list_detail::into_box(std::move(operand))}},
                                 std::move(*comma));
    }
    auto value = element(ctx);
    if (!value) {
      ctx.reset(start);
      return std::nullopt;
    }
    auto comma = list_detail::entry_comma(ctx);
    if (!comma) {
      ctx.reset(start);
      return std::nullopt;
    }
    return make_optional_aggregate<Item>(Base{typename Base::Element{list_detail::into_box(std::move(value))}},
                               std::move(*comma));
  };
}

// open, entries, close. Fails, consuming nothing, only when `open` fails.
template <typename Open, typename Close, typename Element, typename Spread, typename Missing>
auto array_base(Open open, Close close, Element element, Spread spread, Missing missing) {
  using E = list_detail::parsed_t<Element>;
  using S = list_detail::parsed_t<Spread>;
  using Item = ListItem<ArrayElementBase<E, S>>;
  return [=](ParserContext& ctx) -> std::optional<ListParts<Item>> {
    auto start = ctx.checkpoint();
    std::optional<TokenRef> opener = open(ctx);
    if (!opener) {
      ctx.reset(start);
      return std::nullopt;
    }
    NodeList<Item> items = list_detail::read_entries<Item>(ctx, array_element(element, spread, missing));
    std::optional<TokenRef> closer = close(ctx);
    return ListParts<Item>{std::move(*opener), std::move(items), std::move(*closer)};
  };
}

}  // namespace array_helper
}  // namespace vaxo_core::parser

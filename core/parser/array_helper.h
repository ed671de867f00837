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
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

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
    stack_.truncate(base_);
    if (base_ == 0 && stack_.capacity() * sizeof(Item) > kKeptStackBytes) stack_.release();
  }
  Pending(const Pending&) = delete;
  Pending& operator=(const Pending&) = delete;

  [[gnu::always_inline]] void push(Item&& item) { stack_.push_back(std::move(item)); }
  // Builds an entry on the stack itself, where the compiler can initialise
  // aggregates from parentheses; elsewhere it costs one move more.
  template <typename... Args>
  [[gnu::always_inline]] void emplace(Args&&... args) {
#if defined(__cpp_aggregate_paren_init)
    stack_.emplace_back(std::forward<Args>(args)...);
#else
    stack_.push_back(Item{std::forward<Args>(args)...});
#endif
  }
  std::size_t size() const { return stack_.size() - base_; }
  // This list's entries, valid until the next push.
  std::span<Item> items() { return {stack_.data() + base_, size()}; }
  // Moves this list's entries to the end of `list`, which has room for them.
  void move_into(NodeList<Item>& list) { stack_.move_into(list, base_); }

 private:
  static GrowingBuffer<Item>& stack() {
    thread_local GrowingBuffer<Item> s;
    return s;
  }

  GrowingBuffer<Item>& stack_;
  std::size_t base_;
};

// One entry onto `pending`: `entry` either builds it there itself or returns
// it. False, with nothing pushed, when there is none.
template <typename Item, typename Entry>
bool read_entry(ParserContext& ctx, const Entry& entry, Pending<Item>& pending) {
  if constexpr (std::is_invocable_v<const Entry&, ParserContext&, Pending<Item>&>) {
    return entry(ctx, pending);
  } else {
    std::optional<Item> item = entry(ctx);
    if (item) pending.push(std::move(*item));
    return item.has_value();
  }
}

// The entries `entry` reads, one after another until it fails (its failure
// consumes nothing), in a list of exactly their count.
template <typename Item, typename Entry>
NodeList<Item> read_entries(ParserContext& ctx, const Entry& entry) {
  Pending<Item> pending;
  for (;;) {
    const auto before = ctx.checkpoint();
    if (!read_entry(ctx, entry, pending)) {
      ctx.reset(before);
      break;
    }
    if (ctx.checkpoint() == before) throw InternalError("`repeat` parsers must always consume");
  }
  NodeList<Item> items;
  items.reserve(pending.size());
  pending.move_into(items);
  return items;
}

// Where an entry is due: false, consuming nothing, at the list's end; a
// comma is an empty slot, pushed with the member `slot` makes at the comma's
// start; any other token is left to `member`.
template <typename Item, typename Slot, typename Member>
[[gnu::always_inline]] inline bool entry_or_slot(ParserContext& ctx, Pending<Item>& pending, const Slot& slot,
                                                 const Member& member) {
  const Token* next = ctx.peek();
  if (next == nullptr) return false;
  if (*next == Operator::Comma) {
    ctx.next();
    pending.push(Item::new_with_comma(slot(next->range.start), TokenRef::borrow(*next)));
    return true;
  }
  if (helper::is_list_closer(*next)) return false;
  return member(*next);
}

// The entry `build` makes, pushed with the comma after it. Without a token
// left for the comma nothing is pushed and the position goes back to `start`.
// The entry is built on the stack itself, once its comma is known, so it is
// moved only into its list.
template <typename Item, typename Build>
[[gnu::always_inline]] inline bool push_with_comma(ParserContext& ctx, Pending<Item>& pending,
                                                   ParserContext::Checkpoint start, const Build& build) {
  auto comma = entry_comma(ctx);
  if (!comma) {
    ctx.reset(start);
    return false;
  }
  pending.emplace(build(), std::move(*comma));
  return true;
}

}  // namespace list_detail

namespace array_helper {

// One entry, an empty slot, a spread or an element, with its comma, onto
// `pending`. Fails, consuming nothing, where the list ends.
template <typename Element, typename Spread, typename Missing>
auto array_element(Element element, Spread spread, Missing missing) {
  using E = list_detail::parsed_t<Element>;
  using S = list_detail::parsed_t<Spread>;
  using Base = ArrayElementBase<E, S>;
  using Item = ListItem<Base>;
  auto slot = [=](std::size_t at) { return Base{typename Base::Element{list_detail::into_box<E>(missing(at))}}; };
  return [=](ParserContext& ctx, list_detail::Pending<Item>& pending) -> bool {
    return list_detail::entry_or_slot(ctx, pending, slot, [&](const Token& next) {
      const auto start = ctx.checkpoint();
      if (next == Operator::SpreadRange) {
        ctx.next();
        if (auto operand = spread(ctx)) {
          return list_detail::push_with_comma(ctx, pending, start, [&] {
            return Base{typename Base::Spread{TokenRef::borrow(next), list_detail::into_box(std::move(operand))}};
          });
        }
      } else if (auto value = element(ctx)) {
        return list_detail::push_with_comma(ctx, pending, start, [&] {
          return Base{typename Base::Element{list_detail::into_box(std::move(value))}};
        });
      }
      ctx.reset(start);
      return false;
    });
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

// The record member grammar: a parenthesised, comma-separated list of
// members, each a spread, an omitted-name member, an interpolated-name member,
// a named member or a positional one (tried in that order, each from the
// member's first token). Serves record literals and groupings in expressions
// and record patterns and pattern groupings; the caller decides between a
// grouping and a record.
//
// Entry scheme, commas, empty slots and list ends are those of the bracketed
// list grammar (array_helper.h). A colon is never inserted.
//
// `interpolate_name` is called with (ParserContext&, const Token&) when it
// accepts that, else with the interpolated-string token alone; `missing` with
// a byte offset.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/lexer/combinator.h"
#include "core/parser/array_helper.h"
#include "core/parser/ast.h"
#include "core/parser/helper.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::record_helper {

// A member's colon: ":" or "?:".
inline bool colon(const Token& t) { return helper::is_colon(t); }

// A field name: variable_token(true, true), or an Ordinal or String token.
// A Number is no name.
inline std::optional<TokenRef> record_name(ParserContext& ctx) {
  if (auto name = helper::variable_token(ctx, true, true)) return name;
  const Token* t = ctx.peek();
  if (t == nullptr || !(t->kind.is_ordinal() || t->kind.is_string())) return std::nullopt;
  ctx.next();
  return TokenRef::borrow(*t);
}

namespace detail {

template <typename F>
auto call_interpolate_name(const F& f, ParserContext& ctx, const Token& token) {
  if constexpr (std::is_invocable_v<const F&, ParserContext&, const Token&>) {
    return f(ctx, token);
  } else {
    return f(token);
  }
}

template <typename R>
struct unboxed {
  using type = R;
};
template <typename T>
struct unboxed<std::unique_ptr<T>> {
  using type = T;
};
template <typename F>
using interpolated_t = typename unboxed<std::remove_cvref_t<decltype(call_interpolate_name(
    std::declval<const F&>(), std::declval<ParserContext&>(), std::declval<const Token&>()))>>::type;

// A colon token, borrowed, or nothing consumed.
inline std::optional<TokenRef> colon_token(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr || !colon(*t)) return std::nullopt;
  ctx.next();
  return TokenRef::borrow(*t);
}

// Converts to the member holding what `build` returns: the conversions'
// results initialise the item's element and its alternative themselves, so
// the alternative is built in the variant, never moved there.
template <typename Base, typename Build>
struct InPlace {
  using Alt = decltype(std::declval<Build&>()());
  struct Built {
    Build& build;
    operator Alt() && { return build(); }  // NOLINT: implicit by design
  };
  Build& build;
  operator Base() && {  // NOLINT: implicit by design
    return Base{decltype(Base::node)(std::in_place_type<Alt>, Built{build})};
  }
};

}  // namespace detail

// One entry, an empty slot or a member, with its comma, onto `pending`.
// Fails, consuming nothing, where the list ends.
template <typename Named, typename InterpolateName, typename OmitNamed, typename Unnamed, typename Spread,
          typename Missing>
auto record_element(Named named, InterpolateName interpolate_name, OmitNamed omit_named, Unnamed unnamed,
                    Spread spread, Missing missing) {
  using V = list_detail::parsed_t<Named>;
  using I = detail::interpolated_t<InterpolateName>;
  using Base = RecordElementBase<V, I>;
  using Item = ListItem<Base>;
  auto slot = [=](std::size_t at) { return Base{typename Base::Unnamed{list_detail::into_box<V>(missing(at))}}; };
  return [=](ParserContext& ctx, list_detail::Pending<Item>& pending) -> bool {
    return list_detail::entry_or_slot(ctx, pending, slot, [&](const Token& next) {
      const auto start = ctx.checkpoint();
      // The alternative is built in the entry's variant, never moved there.
      auto finish = [&](auto build) -> bool {
        return list_detail::push_with_comma(ctx, pending, start,
                                            [&] { return detail::InPlace<Base, decltype(build)>{build}; });
      };
      // Spread: `..` and an operand.
      if (next == Operator::SpreadRange) {
        ctx.next();
        if (auto operand = spread(ctx)) {
          return finish([&] {
            return typename Base::Spread{TokenRef::borrow(next), list_detail::into_box(std::move(operand))};
          });
        }
        ctx.reset(start);
      }
      // Omitted name: a colon and a value.
      if (auto c = detail::colon_token(ctx)) {
        if (auto value = omit_named(ctx)) {
          return finish([&] {
            return typename Base::OmitNamed{std::move(*c), list_detail::into_box(std::move(value))};
          });
        }
        ctx.reset(start);
      }
      // Interpolated name: the string, a colon, a value; the key is built
      // only once all three matched.
      if (next.kind.is_interpolated_string()) {
        ctx.next();
        if (auto c = detail::colon_token(ctx)) {
          if (auto value = named(ctx)) {
            return finish([&] {
              return typename Base::InterpolateNamed{
                  list_detail::into_box<I>(detail::call_interpolate_name(interpolate_name, ctx, next)), std::move(*c),
                  list_detail::into_box(std::move(value))};
            });
          }
        }
        ctx.reset(start);
      }
      // Named: a field name, a colon, a value.
      if (auto name = record_name(ctx)) {
        if (auto c = detail::colon_token(ctx)) {
          if (auto value = named(ctx)) {
            return finish([&] {
              return typename Base::Named{std::move(*name), std::move(*c), list_detail::into_box(std::move(value))};
            });
          }
        }
        ctx.reset(start);
      }
      // Positional.
      if (auto value = unnamed(ctx)) {
        return finish([&] { return typename Base::Unnamed{list_detail::into_box(std::move(value))}; });
      }
      ctx.reset(start);
      return false;
    });
  };
}

// `(`, members, `)` (inserted with MissingCloseParen when missing). Fails,
// consuming nothing, only when the next token is not `(`.
template <typename Named, typename InterpolateName, typename OmitNamed, typename Unnamed, typename Spread,
          typename Missing>
auto record_base(Named named, InterpolateName interpolate_name, OmitNamed omit_named, Unnamed unnamed,
                 Spread spread, Missing missing) {
  using V = list_detail::parsed_t<Named>;
  using I = detail::interpolated_t<InterpolateName>;
  using Item = ListItem<RecordElementBase<V, I>>;
  return [=](ParserContext& ctx) -> std::optional<ListParts<Item>> {
    std::optional<TokenRef> opener = helper::token(Operator::OpenParen)(ctx);
    if (!opener) return std::nullopt;
    NodeList<Item> items = list_detail::read_entries<Item>(
        ctx, record_element(named, interpolate_name, omit_named, unnamed, spread, missing));
    std::optional<TokenRef> closer = helper::token_or_insert(Operator::CloseParen, DiagnosticCode::MissingCloseParen)(ctx);
    return ListParts<Item>{std::move(*opener), std::move(items), std::move(*closer)};
  };
}

}  // namespace vaxo_core::parser::record_helper

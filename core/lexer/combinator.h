// The combinator toolkit: small backtracking parsers shared by the lexer
// (over LexerInput, characters) and the parser (over ParserInput, tokens).
//
// Calling convention
// ------------------
// A parser is any callable `p(in)` taking the input by reference and returning
// `std::optional<T>`: a value is success, `std::nullopt` is failure. A failure
// carries nothing and never commits; the enclosing alt/opt/peek/not_/repeat
// puts the position back. Parsers that produce nothing return
// `std::optional<Unit>`. Combinators take parsers by value and return new
// parsers (lambdas): nothing is allocated per call and no std::function is
// involved, so everything inlines.
//
//   using namespace vaxo_core::lexer;
//   auto is_op = [](Operator op) {
//     return one_of([op](const Token* t) { return *t == op; });  // yields const Token*
//   };
//   // `e, e, e` folded from the left:
//   auto list = separated_foldl1(expression, is_op(Operator::Comma),
//                                [](Expr acc, const Token*, Expr e) { ...; return acc; });
//   std::optional<Expr> r = alt(list, fail<Expr>())(in);
//
// Plain functions (`expression` above) are parsers too. Combinators copy the
// parsers they are given and call them as const; a parser object with
// mutable state is passed as std::ref(obj).
//
// Rules that need their own position handling take `in.checkpoint()` and call
// `in.reset(cp)` themselves. Broken grammar invariants (an element of a
// repetition that succeeds without consuming, descending ranges) throw
// InternalError; no input can cause them.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/diagnostic/internal_error.h"
#include "core/lexer/input.h"

namespace vaxo_core::lexer {

// The output of a parser that yields nothing.
struct Unit {
  friend constexpr bool operator==(Unit, Unit) { return true; }
};

// A counted range of repetitions, bounds inclusive; max == kUnbounded means
// no upper bound.
struct Range {
  static constexpr std::size_t kUnbounded = std::numeric_limits<std::size_t>::max();
  std::size_t min = 0;
  std::size_t max = kUnbounded;
};
constexpr Range at_least(std::size_t m) { return {m, Range::kUnbounded}; }  // m..
constexpr Range exactly(std::size_t n) { return {n, n}; }                   // n..=n
constexpr Range between(std::size_t m, std::size_t n) { return {m, n}; }    // m..=n
inline constexpr Range kAny = at_least(0);                                  // 0..
inline constexpr Range kOneOrMore = at_least(1);                            // 1..

template <typename P, typename I>
using output_t = typename std::invoke_result_t<P&, I&>::value_type;

namespace combinator_detail {

inline std::optional<char32_t> peek_element(const LexerInput& in) {
  if (in.at_end()) return std::nullopt;
  return in.peek().ch;
}
inline std::optional<char32_t> next_element(LexerInput& in) {
  if (in.at_end()) return std::nullopt;
  auto d = in.peek();
  in.advance(d.len);
  return d.ch;
}
inline std::optional<const Token*> peek_element(const ParserInput& in) {
  if (in.at_end()) return std::nullopt;
  return &in.tokens[in.index];
}
inline std::optional<const Token*> next_element(ParserInput& in) {
  if (in.at_end()) return std::nullopt;
  return &in.tokens[in.index++];
}

template <typename I>
[[noreturn]] void internal_error(const I& in, std::string_view rule) {
  std::string msg(rule);
  msg += '\n';
  msg += in.dump();
  throw InternalError(msg);
}

inline constexpr std::string_view kMustConsume = "`repeat` parsers must always consume";
inline constexpr std::string_view kRangeAscending = "range should be ascending, rather than descending";
inline constexpr std::string_view kOccurrencesAscending = "`occurrences` should be ascending, rather than descending";

// Runs `p` repeatedly within `range`, handing each output to `add`. Returns
// false on failure (the position is then where the failing element stopped).
template <typename I, typename P, typename Add>
bool repeat_into(I& in, Range range, P& p, Add&& add) {
  auto any_number = [&]() {
    for (;;) {
      auto cp = in.checkpoint();
      std::size_t before = in.remaining();
      auto r = p(in);
      if (!r) {
        in.reset(cp);
        return true;
      }
      if (in.remaining() >= before) internal_error(in, kMustConsume);
      add(std::move(*r));
    }
  };
  if (range.min == 0 && range.max == Range::kUnbounded) return any_number();
  if (range.min == 1 && range.max == Range::kUnbounded) {
    auto r = p(in);
    if (!r) return false;
    add(std::move(*r));  // the first element is not checked for consumption
    return any_number();
  }
  if (range.min == range.max) {
    for (std::size_t i = 0; i < range.min; ++i) {
      std::size_t before = in.remaining();
      auto r = p(in);
      if (!r) return false;
      if (in.remaining() >= before) internal_error(in, kMustConsume);
      add(std::move(*r));
    }
    return true;
  }
  if (range.min > range.max) internal_error(in, kRangeAscending);
  for (std::size_t count = 0; count < range.max; ++count) {
    auto cp = in.checkpoint();
    std::size_t before = in.remaining();
    auto r = p(in);
    if (!r) {
      if (count < range.min) return false;
      in.reset(cp);
      return true;
    }
    if (in.remaining() >= before) internal_error(in, kMustConsume);
    add(std::move(*r));
  }
  return true;
}

// Counts the elements from the position that satisfy `pred` within `range`
// and consumes them; nullopt (nothing consumed) when fewer than range.min.
template <typename I, typename Pred>
std::optional<typename I::Slice> take_while_impl(I& in, Range range, Pred& pred) {
  auto start = in.checkpoint();
  bool bounded = !(range.max == Range::kUnbounded && range.min <= 1);
  if (bounded && range.max < range.min) internal_error(in, kOccurrencesAscending);
  std::size_t count = 0;
  while (count < range.max) {
    auto e = peek_element(in);
    if (!e || !pred(*e)) break;
    next_element(in);
    ++count;
  }
  if (count < range.min) {
    in.reset(start);
    return std::nullopt;
  }
  return in.slice(start);
}

}  // namespace combinator_detail

// ---- Sequences and choice -------------------------------------------------

// Runs the parsers in order; yields the tuple of their outputs. Fails at the
// first failing part, leaving the parts before it consumed.
template <typename... Ps>
auto seq(Ps... ps) {
  return [=](auto& in) {
    using I = std::remove_reference_t<decltype(in)>;
    using Out = std::tuple<output_t<Ps, I>...>;
    std::tuple<std::optional<output_t<Ps, I>>...> rs;
    std::tuple<const Ps&...> parsers{ps...};
    bool ok = true;
    [&]<std::size_t... Is>(std::index_sequence<Is...>) {
      ((ok = ok && (std::get<Is>(rs) = std::get<Is>(parsers)(in)).has_value()), ...);
    }(std::index_sequence_for<Ps...>{});
    if (!ok) return std::optional<Out>{};
    return std::optional<Out>(std::apply([](auto&... slot) { return Out{std::move(*slot)...}; }, rs));
  };
}

template <typename A, typename B>
auto terminated(A a, B b) {
  return [=](auto& in) -> std::optional<output_t<A, std::remove_reference_t<decltype(in)>>> {
    auto r = a(in);
    if (!r) return std::nullopt;
    if (!b(in)) return std::nullopt;
    return r;
  };
}

// Ordered choice: the first alternative that succeeds wins; each alternative
// starts from the same position. When all fail, the position is where the
// last one left it. All alternatives yield the first one's output type.
template <typename P1, typename... Ps>
auto alt(P1 p1, Ps... ps) {
  static_assert(sizeof...(Ps) >= 1, "alt needs at least two alternatives");
  return [=](auto& in) -> std::optional<output_t<P1, std::remove_reference_t<decltype(in)>>> {
    auto cp = in.checkpoint();
    std::optional<output_t<P1, std::remove_reference_t<decltype(in)>>> r = p1(in);
    if (r) return r;
    auto attempt = [&](auto& p) {
      if (r) return;
      in.reset(cp);
      auto x = p(in);
      if (x) r = std::move(*x);
    };
    (attempt(ps), ...);
    return r;
  };
}

// ---- Optional parts, look-ahead and end ------------------------------------

template <typename P>
auto opt(P p) {
  return [=](auto& in) -> std::optional<std::optional<output_t<P, std::remove_reference_t<decltype(in)>>>> {
    auto cp = in.checkpoint();
    auto r = p(in);
    if (!r) in.reset(cp);
    return r;
  };
}

template <typename P>
auto peek(P p) {
  return [=](auto& in) {
    auto cp = in.checkpoint();
    auto r = p(in);
    in.reset(cp);
    return r;
  };
}

// `not` is an operator name in C++.
template <typename P>
auto not_(P p) {
  return [=](auto& in) -> std::optional<Unit> {
    auto cp = in.checkpoint();
    auto r = p(in);
    in.reset(cp);
    if (r) return std::nullopt;
    return Unit{};
  };
}

// Succeeds, consuming nothing, only when no element remains.
inline constexpr auto eof = [](auto& in) -> std::optional<typename std::remove_reference_t<decltype(in)>::Slice> {
  if (!in.at_end()) return std::nullopt;
  return in.slice(in.checkpoint());
};

template <typename T = Unit>
auto fail() {
  return [](auto&) -> std::optional<T> { return std::nullopt; };
}

// ---- Repetition -------------------------------------------------------------

// The outputs of `p` within `range`, as a list.
template <typename P>
auto repeat(Range range, P p) {
  return [=](auto& in) -> std::optional<std::vector<output_t<P, std::remove_reference_t<decltype(in)>>>> {
    std::vector<output_t<P, std::remove_reference_t<decltype(in)>>> acc;
    auto parser = p;
    if (!combinator_detail::repeat_into(in, range, parser, [&](auto&& v) { acc.push_back(std::move(v)); })) {
      return std::nullopt;
    }
    return acc;
  };
}

// Repetition without an accumulator (for elements without output).
template <typename P>
auto repeat_void(Range range, P p) {
  return [=](auto& in) -> std::optional<Unit> {
    auto parser = p;
    if (!combinator_detail::repeat_into(in, range, parser, [](auto&&) {})) return std::nullopt;
    return Unit{};
  };
}

// Repetition folded from the left: init() made afresh for each run, then
// combine(acc, output) for each element.
template <typename P, typename Init, typename Combine>
auto fold(Range range, P p, Init init, Combine combine) {
  return [=](auto& in) -> std::optional<std::invoke_result_t<Init&>> {
    auto acc = init();
    auto parser = p;
    if (!combinator_detail::repeat_into(in, range, parser,
                                        [&](auto&& v) { acc = combine(std::move(acc), std::move(v)); })) {
      return std::nullopt;
    }
    return acc;
  };
}

// p (sep p)*, folded from the left with op(acc, sep_output, p_output). A
// separator whose element fails is given back.
template <typename P, typename Sep, typename Op>
auto separated_foldl1(P p, Sep sep, Op op) {
  return [=](auto& in) -> std::optional<output_t<P, std::remove_reference_t<decltype(in)>>> {
    auto acc = p(in);
    if (!acc) return std::nullopt;
    for (;;) {
      auto cp = in.checkpoint();
      std::size_t before = in.remaining();
      auto s = sep(in);
      if (!s) {
        in.reset(cp);
        return acc;
      }
      if (in.remaining() >= before) combinator_detail::internal_error(in, combinator_detail::kMustConsume);
      auto e = p(in);
      if (!e) {
        in.reset(cp);
        return acc;
      }
      acc = op(std::move(*acc), std::move(*s), std::move(*e));
    }
  };
}

// ---- Output mapping ---------------------------------------------------------

template <typename P, typename F>
auto map(P p, F f) {
  return [=](auto& in) -> std::optional<
                           std::invoke_result_t<const F&, output_t<P, std::remove_reference_t<decltype(in)>>&&>> {
    auto r = p(in);
    if (!r) return std::nullopt;
    return f(std::move(*r));
  };
}

template <typename P, typename V>
auto value(P p, V v) {
  return [=](auto& in) -> std::optional<V> {
    if (!p(in)) return std::nullopt;
    return v;
  };
}

// `void` is a keyword in C++.
template <typename P>
auto void_(P p) {
  return [=](auto& in) -> std::optional<Unit> {
    if (!p(in)) return std::nullopt;
    return Unit{};
  };
}

template <typename P, typename Pred>
auto verify(P p, Pred pred) {
  return [=](auto& in) {
    auto cp = in.checkpoint();
    auto r = p(in);
    if (r && !pred(std::as_const(*r))) {
      in.reset(cp);
      r.reset();
    }
    return r;
  };
}

template <typename P, typename F>
auto verify_map(P p, F f) {
  return [=](auto& in) -> std::invoke_result_t<const F&, output_t<P, std::remove_reference_t<decltype(in)>>&&> {
    auto cp = in.checkpoint();
    auto r = p(in);
    if (!r) return std::nullopt;
    auto w = f(std::move(*r));
    if (!w) in.reset(cp);
    return w;
  };
}

// ---- Spans and consumed input -----------------------------------------------

template <typename P>
auto with_span(P p) {
  return [=](auto& in)
             -> std::optional<std::pair<output_t<P, std::remove_reference_t<decltype(in)>>, ByteRange>> {
    std::size_t start = in.current_token_start();
    auto r = p(in);
    if (!r) return std::nullopt;
    return std::pair{std::move(*r), ByteRange{start, in.previous_token_end()}};
  };
}

template <typename P>
auto span(P p) {
  return [=](auto& in) -> std::optional<ByteRange> {
    std::size_t start = in.current_token_start();
    if (!p(in)) return std::nullopt;
    return ByteRange{start, in.previous_token_end()};
  };
}

// The slice that `p` consumed.
template <typename P>
auto take(P p) {
  return [=](auto& in) -> std::optional<typename std::remove_reference_t<decltype(in)>::Slice> {
    auto cp = in.checkpoint();
    if (!p(in)) return std::nullopt;
    return in.slice(cp);
  };
}

template <typename P>
auto with_taken(P p) {
  return [=](auto& in) -> std::optional<std::pair<output_t<P, std::remove_reference_t<decltype(in)>>,
                                                  typename std::remove_reference_t<decltype(in)>::Slice>> {
    auto cp = in.checkpoint();
    auto r = p(in);
    if (!r) return std::nullopt;
    return std::pair{std::move(*r), in.slice(cp)};
  };
}

// ---- Scanners -----------------------------------------------------------------

// The next element (a character, or a pointer to the next token).
inline constexpr auto any = [](auto& in) { return combinator_detail::next_element(in); };

// The next element when pred(element) holds.
template <typename Pred>
auto one_of(Pred pred) {
  return [=](auto& in) -> decltype(combinator_detail::next_element(in)) {
    auto e = combinator_detail::peek_element(in);
    if (!e || !pred(*e)) return std::nullopt;
    return combinator_detail::next_element(in);
  };
}

template <typename Pred>
auto take_while(Range range, Pred pred) {
  return [=](auto& in) {
    auto p = pred;
    return combinator_detail::take_while_impl(in, range, p);
  };
}

template <typename Pred>
auto take_till(Range range, Pred pred) {
  return [=](auto& in) {
    auto negated = [&](const auto& e) { return !pred(e); };
    return combinator_detail::take_while_impl(in, range, negated);
  };
}

// `s` byte for byte at the position.
inline auto literal(std::string_view s) {
  return [=](LexerInput& in) -> std::optional<std::string_view> {
    if (!in.starts_with(s)) return std::nullopt;
    auto cp = in.checkpoint();
    in.advance(s.size());
    return in.slice(cp);
  };
}

// The text before the first occurrence of `lit` (which stays unread); fails,
// consuming nothing, when `lit` does not occur.
inline auto take_until(std::string_view lit) {
  return [=](LexerInput& in) -> std::optional<std::string_view> {
    auto rest = in.rest();
    auto at = rest.find(lit);
    if (at == std::string_view::npos) return std::nullopt;
    auto cp = in.checkpoint();
    in.advance(at);
    return in.slice(cp);
  };
}

// The next n characters.
inline auto take_n(std::size_t n) {
  return [=](LexerInput& in) -> std::optional<std::string_view> {
    auto cp = in.checkpoint();
    for (std::size_t i = 0; i < n; ++i) {
      if (in.at_end()) {
        in.reset(cp);
        return std::nullopt;
      }
      in.advance(in.peek().len);
    }
    return in.slice(cp);
  };
}

// Spaces and horizontal tabs only.
inline std::optional<std::string_view> space0(LexerInput& in) {
  auto cp = in.checkpoint();
  while (!in.at_end() && (in.text[in.position] == ' ' || in.text[in.position] == '\t')) ++in.position;
  return in.slice(cp);
}

// "\n" or "\r\n".
inline std::optional<std::string_view> line_ending(LexerInput& in) {
  auto cp = in.checkpoint();
  if (in.byte_at(0) == '\n') {
    in.advance(1);
    return in.slice(cp);
  }
  if (in.byte_at(0) == '\r' && in.byte_at(1) == '\n') {
    in.advance(2);
    return in.slice(cp);
  }
  return std::nullopt;
}

// The text up to the first CR or LF. Fails, with that text consumed, when the
// stop is a CR not followed by LF.
inline std::optional<std::string_view> till_line_ending(LexerInput& in) {
  auto cp = in.checkpoint();
  in.position = in.next_line_stop();
  if (in.byte_at(0) == '\r' && in.byte_at(1) != '\n') return std::nullopt;
  return in.slice(cp);
}

}  // namespace vaxo_core::lexer

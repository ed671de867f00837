#include "core/lexer/tokens.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "core/base/byte_scan.h"
#include "core/lexer/combinator.h"
#include "core/lexer/identifier.h"
#include "core/lexer/numeric.h"
#include "core/lexer/string.h"
#include "core/lexer/trivia.h"

namespace vaxo_core::lexer::tokens {

namespace {

using Op = Operator;

constexpr bool ascii_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool exhausted(const LexerInput& in) { return in.nesting != nullptr && in.nesting->exhausted(); }

// The token loop's switch gives the recogniser every byte but the blanks,
// `/` and the digits, which it reads itself first.
static_assert([] {
  for (unsigned c = 0; c < 256; ++c) {
    const bool own = c <= ' ' || c == '/' || (c >= '0' && c <= '9') || c >= 0x80;
    if (own && c != '/' && starts_operator(static_cast<unsigned char>(c))) return false;
  }
  return true;
}());

// Stores a small kind into `out`, a kind the scanner has just made (it
// holds no payload).
template <typename T>
inline void put_fresh(TokenKind& out, T value) noexcept {
  out.set_unowned(value);
}

// Consumes `n` bytes and stores the operator.
bool op(LexerInput& in, TokenKind& out, std::size_t n, Op o) {
  in.position += n;
  put_fresh(out, TokenKind::Operator{o});
  return true;
}

// A keyword right before `:` or `?:` is a name, unless it follows the `?`
// of a conditional: `c ? true : 0` reads the literal. `before` is the token
// before `prev` (or null).
void retype_keyword(Token* prev, const Token* before) {
  if (prev == nullptr) return;
  if (auto* kw = prev->kind.get_if<TokenKind::Keyword>()) {
    if (before != nullptr && *before == Operator::Question) return;
    const std::string_view name = text(kw->keyword);
    prev->kind.set<TokenKind::Identifier>(TokenKind::Identifier{name});
  }
}

// Stores a number into `out`, a kind the scanner has just made (it holds no
// payload): built in place, without the temporary kind of an assignment.
inline void put_number(TokenKind& out, double value, const NumberInfo& info) {
  out.~TokenKind();
  new (&out) TokenKind(TokenKind::Number{value, info});
}

// The first byte at or after `p` that is no ASCII letter, digit or `_`,
// and whether it is one from 0x80 up (where the general reader takes the
// name over). Sixteen bytes are classified at once where the text allows: a
// name's end is then found without a branch per byte, which mispredicts at
// every end, and a stop inside the block needs no bound check.
[[gnu::always_inline]] inline std::size_t ascii_continue_end(const char* data, std::size_t p, std::size_t size,
                                                             bool& wide) {
  for (; p + 16 <= size; p += 16) {
    const unsigned stops = ~base::byte_scan::mask16(data + p, base::byte_scan::AsciiWord{}) & 0xFFFFu;
    if (stops == 0) continue;
    p += static_cast<std::size_t>(std::countr_zero(stops));
    wide = static_cast<unsigned char>(data[p]) >= 0x80;
    return p;
  }
  while (p < size && identifier::is_ascii_continue(static_cast<unsigned char>(data[p]))) ++p;
  wide = p < size && static_cast<unsigned char>(data[p]) >= 0x80;
  return p;
}

// The mask that keeps the first `n` bytes of a little-endian word, n <= 8.
constexpr std::array<std::uint64_t, 9> kFirstBytes = {
    0, 0xff, 0xffff, 0xffffff, 0xffffffff, 0xffffffffff, 0xffffffffffff, 0xffffffffffffff, ~std::uint64_t{0}};

// The keyword `name` (at `start` in `data`, of `size` bytes) spells, or -1.
[[gnu::always_inline]] inline int keyword_index(const char* data, std::size_t start, std::size_t size,
                                                std::string_view name) {
  if (start + 8 <= size) [[likely]] {
    // Every keyword fits in one word: load it whole and keep the name's
    // bytes, at most eight. A longer name then matches no slot (its size
    // does not), so no branch asks for its length: names of eight bytes or
    // more are common and would mispredict it.
    using namespace keyword_detail;
    std::uint64_t word;
    std::memcpy(&word, data + start, 8);
    word &= kFirstBytes[std::min<std::size_t>(name.size(), 8)];
    const std::size_t slot = hash_slot(word);
    if (kHashTable.words[slot] == word && kHashTable.sizes[slot] == name.size()) return kHashTable.keywords[slot];
  } else if (name.size() <= 8) {
    if (const std::optional<Keyword> k = keyword_from_str(name)) return static_cast<int>(*k);
  }
  return -1;
}

// The name from `start` whose first character ends before `p`: the rest is
// XID_Continue characters, ASCII ones read straight from the bytes.
[[gnu::always_inline]] inline void name_from(LexerInput& in, std::size_t start, std::size_t p, bool keywords,
                                             TokenKind& out) {
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  bool wide;
  p = ascii_continue_end(data, p, size, wide);
  in.position = p;
  if (wide) identifier::skip_identifier_continue(in);
  const std::string_view name(data + start, in.position - start);
  if (keywords) {
    if (const int kw = keyword_index(data, start, size, name); kw >= 0) {
      put_fresh(out, TokenKind::Keyword{static_cast<Keyword>(kw)});
      return;
    }
  }
  put_fresh(out, TokenKind::Identifier{name});
}

// A run of `c` (`_`, `$` or `@`) and what continues it: a name.
void special_name(LexerInput& in, std::size_t start, char c, bool keywords, TokenKind& out) {
  std::size_t p = start;
  while (p < in.text.size() && in.text[p] == c) ++p;
  name_from(in, start, p, keywords, out);
}

// The one character at `start` as a recovery token: no token begins there.
void unknown_char(LexerInput& in, std::size_t start, TokenKind& out) {
  in.position = start;
  in.advance(in.peek().len);
  out = TokenKind::unknown(TokenKind::Empty{}, ByteRange{start, in.position}, DiagnosticCode::UnknownToken);
}

// At a digit: digits, then `.` and digits, or an exponent, or both, and
// nothing that could continue the literal (no name character). The full
// reader takes the same text as a well-formed decimal literal. Without an
// exponent, up to 19 digits whose value is exact in a double are converted
// here as parse_decimal converts them (one correctly rounded division by an
// exact power of ten).
bool plain_decimal(LexerInput& in, std::size_t start, TokenKind& out) {
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  std::uint64_t mantissa = 0;
  auto digits = [&](std::size_t p) {
    while (p < size && data[p] >= '0' && data[p] <= '9') {
      mantissa = mantissa * 10 + static_cast<unsigned>(data[p] - '0');  // wraps past 19 digits: unused then
      ++p;
    }
    return p;
  };
  std::size_t end = digits(start);
  std::size_t fraction = 0;
  bool exponent = false;
  if (end < size && data[end] == '.') {
    const std::size_t after = digits(end + 1);
    if (after == end + 1) return false;
    fraction = after - end - 1;
    end = after;
  }
  if (end < size && (data[end] | 0x20) == 'e') {
    std::size_t p = end + 1;
    if (p < size && (data[p] == '+' || data[p] == '-')) ++p;
    const std::size_t after = digits(p);
    if (after == p) return false;
    exponent = true;
    end = after;
  }
  if (fraction == 0 && !exponent) return false;
  if (end < size) {
    auto c = static_cast<unsigned char>(data[end]);
    if (c >= 0x80 || identifier::is_ascii_continue(c)) return false;
  }
  const std::string_view text(data + start, end - start);
  static constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  double value;
  if (!exponent && end - start - 1 <= 19 && mantissa <= (std::uint64_t{1} << 53) && fraction <= 22) {
    value = static_cast<double>(mantissa) / kExactPowers[fraction];
  } else {
    auto parsed = numeric::parse_decimal(text);
    if (!parsed || !std::isfinite(*parsed)) return false;
    value = *parsed;
  }
  in.position = end;
  put_number(out, value, NumberInfo{NumberInfo::Decimal{text}});
  return true;
}

// At `0x`, `0o` or `0b` (either case): digits of that radix, no `_`, at most
// as many as cannot overflow, and nothing that could continue the literal.
// The full reader gives the same number.
bool plain_prefixed(LexerInput& in, std::size_t start, TokenKind& out) {
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  const char prefix = static_cast<char>(data[start + 1] | 0x20);
  unsigned shift;
  if (prefix == 'x') {
    shift = 4;
  } else if (prefix == 'o') {
    shift = 3;
  } else {
    shift = 1;
  }
  const unsigned radix = 1u << shift;
  std::size_t p = start + 2;
  std::uint64_t value = 0;
  for (; p < size; ++p) {
    const auto c = static_cast<unsigned char>(data[p]);
    unsigned d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
      d = (c | 0x20) - 'a' + 10;
    } else {
      break;
    }
    if (d >= radix) return false;
    value = (value << shift) | d;
  }
  const std::size_t count = p - start - 2;
  if (count == 0 || count * shift > 63) return false;
  if (p < size) {
    auto c = static_cast<unsigned char>(data[p]);
    if (c >= 0x80 || identifier::is_ascii_continue(c)) return false;
  }
  in.position = p;
  NumberInfo info;
  if (shift == 4) {
    info.value = NumberInfo::Hexadecimal{value};
  } else if (shift == 3) {
    info.value = NumberInfo::Octal{value};
  } else {
    info.value = NumberInfo::Binary{value};
  }
  put_number(out, static_cast<double>(value), info);
  return true;
}

// True when an integer's digits that stop at `p` are the whole literal: no
// name character follows, nor a `.` that a fraction or a name could follow
// (after `.`, where the literal is an ordinal, no `.` continues it).
inline bool ends_integer(const char* data, std::size_t p, std::size_t size, bool dot) {
  if (p >= size) return true;
  const auto c = static_cast<unsigned char>(data[p]);
  if (c >= 0x80 || identifier::is_ascii_continue(c)) return false;
  if (c != '.' || dot || p + 1 >= size) return true;
  const auto next = static_cast<unsigned char>(data[p + 1]);
  return next < 0x80 && !identifier::is_ascii_continue(next);
}

// At a digit: digits and `_`, ending with a digit and then the literal (a
// long or zero-led integer, or one with separators). The full reader reads
// it as the decimal of its digits; up to 19 digits whose value is exact in a
// double are converted here the same way.
bool plain_integer(LexerInput& in, std::size_t start, TokenKind& out) {
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  std::size_t p = start;
  std::size_t count = 0;
  std::uint64_t mantissa = 0;
  for (; p < size; ++p) {
    const char c = data[p];
    if (c >= '0' && c <= '9') {
      mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');  // wraps past 19 digits: unused then
      ++count;
    } else if (c != '_') {
      break;
    }
  }
  if (data[p - 1] == '_' || count > 19 || mantissa > (std::uint64_t{1} << 53) || !ends_integer(data, p, size, false)) {
    return false;
  }
  const std::string_view text(data + start, p - start);
  const bool separated = count != text.size();
  constexpr auto kI32Max = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  if (!separated && !(count > 1 && data[start] == '0') && mantissa <= kI32Max) return false;  // an ordinal
  in.position = p;
  put_number(out, static_cast<double>(mantissa), NumberInfo{NumberInfo::Decimal{text}});
  return true;
}

// At a digit. A short digit run that ends the literal (no name character
// after it, nor a `.` unless it is an ordinal after `.`) and reads as a valid
// ordinal is stored directly: the same result as the full readers.
void number(LexerInput& in, std::size_t start, bool dot, TokenKind& out) {
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  std::size_t p = start;
  std::uint64_t value = 0;
  while (p < size && p - start < 10 && data[p] >= '0' && data[p] <= '9') {
    value = value * 10 + static_cast<unsigned>(data[p] - '0');
    ++p;
  }
  const bool ends = ends_integer(data, p, size, dot);
  constexpr auto kI32Max = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  if (ends && !(p - start > 1 && data[start] == '0') && value <= kI32Max) {
    in.position = p;
    put_fresh(out, TokenKind::Ordinal{static_cast<std::int32_t>(value)});
    return;
  }
  if (!dot) {
    const char prefix = p == start + 1 && data[start] == '0' && p < size ? static_cast<char>(data[p] | 0x20) : '\0';
    if (prefix == 'x' || prefix == 'o' || prefix == 'b') {
      if (plain_prefixed(in, start, out)) return;
    } else if (plain_decimal(in, start, out) || plain_integer(in, start, out)) {
      return;
    }
  }
  out = dot ? numeric::ordinal(in) : numeric::number(in);
}

// One token at `start` (blanks skipped, not at the end) into `out`, which
// holds no boxed payload. Within a row the first entry that matches wins.
// False when the nesting budget is spent.
// The reader of one token (token_into) and the token loop's reader of what
// it does not read itself: numbers, strings, special and wide names, recovery.
// `dot`: whether the previous token is the operator `.`, then whether this
// one is. `prev()` gives the previous token (or null) and `prev_before()`
// the one before it (or null), asked only before `:` and `?:`.
template <typename Prev, typename PrevBefore>
[[gnu::always_inline]] inline bool scan_one(LexerInput& in, std::size_t start, Prev&& prev, PrevBefore&& prev_before,
                                            bool& dot, TokenKind& out) {
  const bool after_dot = dot;
  dot = false;
  const int c = static_cast<unsigned char>(in.text[start]);
  // Names are the commonest tokens: a branch of their own ahead of the
  // jump table, whose indirect jump mispredicts more often.
  if (ascii_letter(c)) {
    name_from(in, start, start + 1, !after_dot, out);
    return true;
  }
  switch (c) {
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      number(in, start, after_dot, out);
      return true;
    case '"':
    case '\'':
    case '`':
    case '@': {
      if (auto kind = string::string(in)) {
        out.~TokenKind();  // a fresh kind: nothing to release, nothing to move twice
        new (&out) TokenKind(std::move(*kind));
        return !exhausted(in);
      }
      if (exhausted(in)) return false;
      in.position = start;
      if (c == '@') {
        special_name(in, start, '@', !after_dot, out);
      } else {
        unknown_char(in, start, out);
      }
      return true;
    }
    case '_':
    case '$':
      special_name(in, start, static_cast<char>(c), !after_dot, out);
      return true;
    default:
      if (c >= 0x80) {
        auto d = in.peek();
        if (identifier::is_identifier_start(d.ch)) {
          name_from(in, start, start + d.len, !after_dot, out);
          return true;
        }
      } else if (const OperatorMatch m = match_operator(in.text.data(), start, in.text.size()); m.size != 0) {
        if (m.op == Op::Colon || m.op == Op::QuestionColon) retype_keyword(prev(), prev_before());
        dot = m.op == Op::Dot;
        return op(in, out, m.size, m.op);
      }
      break;
  }
  unknown_char(in, start, out);
  return true;
}

}  // namespace

bool token_into(LexerInput& in, Token* prev_token, Token& out, const Token* before_prev) {
  space0(in);
  const std::size_t start = in.position;
  out.kind = TokenKind(TokenKind::Eof{});
  if (in.at_end()) {
    if (exhausted(in)) return false;
  } else if (bool dot = prev_token != nullptr && prev_token->kind == Operator::Dot;
             !scan_one(
                 in, start, [prev_token] { return prev_token; },
                 [prev_token, before_prev] { return prev_token != nullptr ? before_prev : nullptr; }, dot,
                 out.kind)) {
    return false;
  }
  out.range = ByteRange{start, in.position};
  return true;
}

void ascii_name_into(LexerInput& in, TokenKind& out) {
  name_from(in, in.position, in.position + 1, true, out);
}

std::optional<Token> token(LexerInput& in, Token* prev_token, const Token* before_prev) {
  std::optional<Token> out(std::in_place);
  if (!token_into(in, prev_token, *out, before_prev)) return std::nullopt;
  return out;
}

namespace {

// Room for the rest of a script when its list is full: the density read so
// far, over the text left, and a margin. One copy instead of a doubling
// series whose last step may leave half the list unused. Generated scripts
// keep their density within about two percent from a sample of 16k tokens
// on. A text that turns denser fills the list again: the density since the
// last growth, when higher, then stands for the rest, so that one more copy
// suffices where the density overall would lag behind.
struct Growth {
  std::size_t from;      // where the list's text starts
  std::size_t tokens;    // list size at the last growth (0: none yet)
  std::size_t position;  // and the text position then
};

// A long script's list is fresh memory, written once front to back: huge
// pages spare the kernel a fault per 4 KiB (two thirds of a 10 MB compile's
// faults). Advice only; where it is not taken, nothing changes.
template <typename List>
void advise_huge_pages(const List& tokens) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const std::size_t bytes = tokens.capacity() * sizeof(Token);
  if (bytes < 2 * kHuge) return;
  const auto start = reinterpret_cast<std::uintptr_t>(tokens.data());
  const std::uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t last = (start + bytes) & ~(kHuge - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)tokens;
#endif
}

template <typename List>
[[gnu::noinline]] void grow_script_list(const LexerInput& in, List& tokens, Growth& last) {
  const std::size_t n = tokens.size();
  const std::size_t left = in.text.size() - in.position;
  const auto density = [&](std::size_t tokens_then, std::size_t position_then) {
    return static_cast<double>(n - tokens_then) / static_cast<double>(in.position - position_then + 1);
  };
  const double per_byte = std::max(density(0, last.from), density(last.tokens, last.position));
  const auto more = static_cast<std::size_t>(per_byte * (1.0 + 1.0 / 32) * static_cast<double>(left));
  tokens.reserve(n + std::max(more, n / 8) + 16);
  advise_huge_pages(tokens);
  last.tokens = n;
  last.position = in.position;
}

}  // namespace

namespace {

// No stop rule: the loop runs to the end of the text.
struct NoStop {};

// Where the loop notes the tokens that may own a payload: nowhere, for a
// list that destroys its tokens itself.
struct NoOwners {
  void make_room() {}
  void note(const Token&, std::size_t) {}
};

// The tags of the kinds that can own a payload.
constexpr unsigned kOwningTags = 1u << static_cast<unsigned>(TokenKind::Tag::Number) |
                                 1u << static_cast<unsigned>(TokenKind::Tag::String) |
                                 1u << static_cast<unsigned>(TokenKind::Tag::InterpolatedString) |
                                 1u << static_cast<unsigned>(TokenKind::Tag::Unknown);

// The indices of a KeptTokens list's tokens that may own a payload. Room for
// one more index is made before each token the full scanner reads, so that
// noting it cannot throw once it owns something.
struct Owners {
  std::vector<std::size_t>& indices;
  void make_room() {
    if (indices.size() == indices.capacity()) [[unlikely]] indices.reserve(indices.empty() ? 256 : 2 * indices.size());
  }
  void note(const Token& token, std::size_t index) noexcept {
    const auto tag = static_cast<unsigned>(token.kind.tag());
    if (tag < 32 && ((kOwningTags >> tag) & 1u)) indices.push_back(index);
  }
};

// A token of a small kind (one that owns nothing) and its range, built
// straight in the list's slot: a token converted from it is the prvalue that
// initialises the slot (g++ elides the move), so no default kind is stored
// first and overwritten.
template <typename T>
struct SmallToken {
  T kind;
  ByteRange range;
  operator Token() const noexcept { return Token{TokenKind(kind), range}; }  // NOLINT: implicit on purpose
};

// The token loop, with or without a stop rule. The position lives in a
// local while names, operators and blanks are read, and those tokens are
// appended whole; the other readers take the input.
template <typename Stop, typename List = std::vector<Token>, typename Noted = NoOwners>
bool scan_loop(LexerInput& in, List& tokens, Stop& stop, Noted owners = {}) {
  constexpr bool kCheck = !std::is_same_v<Stop, NoStop>;
  const char* const data = in.text.data();
  const std::size_t size = in.text.size();
  const std::size_t first = tokens.size();
  Growth growth{in.position, 0, in.position};
  bool dot = false;
  std::size_t p = in.position;
  const auto room = [&in, &tokens, &growth](std::size_t at) {
    if (!kCheck && tokens.size() == tokens.capacity()) [[unlikely]] {
      in.position = at;
      grow_script_list(in, tokens, growth);
    }
  };
  const auto push = [&tokens, &room](auto kind, std::size_t start, std::size_t end) -> Token& {
    room(end);
    return tokens.emplace_back(SmallToken<decltype(kind)>{kind, ByteRange{start, end}});
  };
  for (;;) {
    if (p >= size) [[unlikely]] {
      in.position = p;
      room(p);
      tokens.emplace_back().range = ByteRange{p, p};  // the kind is Eof
      return !exhausted(in);
    }
    int c = static_cast<unsigned char>(data[p]);
    // Most tokens follow another directly or after one space.
    if (c == ' ') {
      if (++p >= size) continue;
      c = static_cast<unsigned char>(data[p]);
    }
    const std::size_t start = p;
    const bool after_dot = dot;
    dot = false;
    if (ascii_letter(c)) {
      // The name's ASCII run; then, where a byte from 0x80 up stops it, the
      // rest by the general reader.
      bool wide;
      p = ascii_continue_end(data, p + 1, size, wide);
      if (wide) {
        in.position = p;
        identifier::skip_identifier_continue(in);
        p = in.position;
      }
      const std::string_view name(data + start, p - start);
      int kw = -1;
      if (!after_dot) kw = keyword_index(data, start, size, name);
      Token& token = kw >= 0 ? push(TokenKind::Keyword{static_cast<Keyword>(kw)}, start, p)
                             : push(TokenKind::Identifier{name}, start, p);
      if constexpr (kCheck) {
        if (stop(token)) break;
      }
      continue;
    }
    // The operator at `p` and its size (0: none begins here).
    OperatorMatch m{};
    const auto c1 = [&] { return p + 1 < size ? static_cast<unsigned char>(data[p + 1]) : -1; };
    {
      switch (c) {
        case ' ':
        case '\t':
        case '\n':
          // Indentation and blank lines.
          for (;;) {
            p = trivia::skip_blanks(data, p, size);
            if (p >= size || data[p] != '\n') break;
            ++p;
          }
          dot = after_dot;
          continue;
        case '\r':
          if (c1() == '\n') {
            in.position = p;
            trivia::skip_trivia_slow(in);
            p = in.position;
            dot = after_dot;
            continue;
          }
          break;
        case '/': {
          const int d = c1();
          if (d == '/' || d == '*') {
            in.position = p;
            trivia::skip_trivia_slow(in);
            if (in.position != p) {
              p = in.position;
              dot = after_dot;
              continue;
            }
          }
          m = match_operator(data, p, size);
          break;
        }
        case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': {
          // A run of at most nine digits that ends the literal, zero-led only
          // when alone: an ordinal, as number() reads it.
          const auto digit = [data](std::size_t at) {
            return static_cast<unsigned>(static_cast<unsigned char>(data[at]) - '0');
          };
          std::size_t q = p + 1;
          auto value = static_cast<std::int32_t>(c - '0');
          while (q < size && q - p < 9 && digit(q) < 10) value = value * 10 + static_cast<std::int32_t>(digit(q++));
          if ((q == p + 1 || c != '0') && ends_integer(data, q, size, after_dot)) {
            p = q;
            Token& token = push(TokenKind::Ordinal{value}, start, p);
            if constexpr (kCheck) {
              if (stop(token)) {
                in.position = p;
                return true;
              }
            }
            continue;
          }
          break;
        }
        // Every other byte that may begin an operator: the recogniser's
        // code for that byte, in this one jump (a byte that begins none
        // gets no operator).
#define VAXO_CASE(n)                                     \
  case (n):                                              \
    m = operator_detail::match_from<(n)>(data, p, size); \
    if constexpr ((n) == '.') dot = m.op == Op::Dot;     \
    break;
#define VAXO_CASE2(n) VAXO_CASE(n) VAXO_CASE(n + 1)
#define VAXO_CASE4(n) VAXO_CASE2(n) VAXO_CASE2(n + 2)
#define VAXO_CASE8(n) VAXO_CASE4(n) VAXO_CASE4(n + 4)
#define VAXO_CASE16(n) VAXO_CASE8(n) VAXO_CASE8(n + 8)
#define VAXO_CASE64(n) VAXO_CASE16(n) VAXO_CASE16(n + 16) VAXO_CASE16(n + 32) VAXO_CASE16(n + 48)
        VAXO_CASE(33) VAXO_CASE8(34) VAXO_CASE4(42) VAXO_CASE(46)  // '!' to '.'
        VAXO_CASE64(58) VAXO_CASE4(122) VAXO_CASE2(126)             // ':' to 0x7F
#undef VAXO_CASE64
#undef VAXO_CASE16
#undef VAXO_CASE8
#undef VAXO_CASE4
#undef VAXO_CASE2
#undef VAXO_CASE
        default:
          break;
      }
    }
    if (const std::size_t n = m.size; n != 0) {
      const Op o = m.op;
      // A keyword right before `:` or `?:` is a name.
      if ((o == Op::Colon || o == Op::QuestionColon) && tokens.size() > first) {
        retype_keyword(&tokens.back(), tokens.size() > first + 1 ? &tokens.back() - 1 : nullptr);
      }
      p += n;
      Token& token = push(TokenKind::Operator{o}, start, p);
      if constexpr (kCheck) {
        if (stop(token)) break;
      }
      continue;
    }
    // Numbers, strings, special names, other characters: the full scanner.
    in.position = p;
    room(p);
    owners.make_room();
    Token& token = tokens.emplace_back();
    bool next_dot = after_dot;
    const bool read =
        scan_one(
            in, start, [&] { return tokens.size() - 1 > first ? &token - 1 : nullptr; },
            [&] { return tokens.size() > first + 2 ? &token - 2 : nullptr; }, next_dot, token.kind);
    owners.note(token, tokens.size() - 1);
    if (!read) return false;
    dot = next_dot;
    p = in.position;
    token.range = ByteRange{start, p};
    if constexpr (kCheck) {
      if (stop(token)) break;
    }
  }
  in.position = p;
  return true;
}

}  // namespace

bool scan_tokens(LexerInput& in, std::vector<Token>& tokens, BreakCheck check) {
  if (check.should_break == nullptr) {
    NoStop none;
    return scan_loop(in, tokens, none);
  }
  auto stop = [&check](const Token& t) { return check.should_break(check.rule, t); };
  return scan_loop(in, tokens, stop);
}

bool scan_tokens(LexerInput& in, KeptTokens& tokens, std::vector<std::size_t>& owners) {
  NoStop none;
  return scan_loop(in, tokens, none, Owners{owners});
}

bool scan_tokens(LexerInput& in, std::vector<Token>& tokens, BraceRule& rule) { return scan_loop(in, tokens, rule); }

bool scan_tokens(LexerInput& in, std::vector<Token>& tokens, ParenRule& rule) { return scan_loop(in, tokens, rule); }

}  // namespace vaxo_core::lexer::tokens

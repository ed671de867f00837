#include "core/lexer/scanner.h"

#include <cstdint>
#include <type_traits>

#include "core/lexer/combinator.h"
#include "core/lexer/identifier.h"
#include "core/lexer/list_growth.h"
#include "core/lexer/name_scan.h"
#include "core/lexer/numeric.h"
#include "core/lexer/operator_match.h"
#include "core/lexer/string.h"
#include "core/lexer/trivia.h"

namespace vaxo_core::lexer::scanner {

namespace {

using Op = Operator;

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

// Consumes `n` bytes and stores the operator.
bool op(LexerInput& in, TokenKind& out, std::size_t n, Op o) {
  in.position += n;
  out.set_unowned(TokenKind::Operator{o});
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

// The one character at `start` as a recovery token: no token begins there.
void unknown_char(LexerInput& in, std::size_t start, TokenKind& out) {
  in.position = start;
  in.advance(in.peek().len);
  out = TokenKind::unknown(TokenKind::Empty{}, ByteRange{start, in.position}, DiagnosticCode::UnknownToken);
}

// One token at `start` (blanks skipped, not at the end) into `out`, which
// holds no payload: the reader of one token (token_into) and the token
// loop's reader of what it does not read itself (numbers, strings, special
// and wide names, recovery). False when the nesting budget is spent.
// `dot`: whether the previous token is the operator `.`, then whether this
// one is. `prev()` gives the previous token (or null) and `prev_before()`
// the one before it (or null), asked only before `:` and `?:`.
template <typename Prev, typename PrevBefore>
[[gnu::always_inline]] inline bool scan_one(LexerInput& in, std::size_t start, Prev&& prev, PrevBefore&& prev_before,
                                            bool& dot, TokenKind& out) {
  const bool after_dot = dot;
  dot = false;
  const int c = static_cast<unsigned char>(in.text[start]);
  if (ascii_letter(c)) {
    name_from(in, start, start + 1, !after_dot, out);
    return true;
  }
  switch (c) {
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      numeric::number_into(in, start, after_dot, out);
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

// The same as token(), reading into `out`, which holds no payload.
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

}  // namespace

std::optional<Token> token(LexerInput& in, Token* prev_token, const Token* before_prev) {
  std::optional<Token> out(std::in_place);
  if (!token_into(in, prev_token, *out, before_prev)) return std::nullopt;
  return out;
}

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
// straight in the list's slot: the conversion's result initialises it.
template <typename T>
struct SmallToken {
  T kind;
  ByteRange range;
  operator Token() const noexcept { return Token{TokenKind(kind), range}; }  // NOLINT: implicit on purpose
};

// The token loop, with or without a stop rule. It reads blanks, line
// endings, names, keywords, ordinals and operators itself, from a local
// position, and appends those tokens whole; comments and CRLF go to
// skip_trivia, everything else to scan_one, which take the input.
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
    // A single space before the token.
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
            trivia::skip_trivia(in);
            p = in.position;
            dot = after_dot;
            continue;
          }
          break;
        case '/': {
          const int d = c1();
          if (d == '/' || d == '*') {
            in.position = p;
            trivia::skip_trivia(in);
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
          // when alone: an ordinal, as numeric::number_into reads it.
          const auto digit = [data](std::size_t at) {
            return static_cast<unsigned>(static_cast<unsigned char>(data[at]) - '0');
          };
          std::size_t q = p + 1;
          auto value = static_cast<std::int32_t>(c - '0');
          while (q < size && q - p < 9 && digit(q) < 10) value = value * 10 + static_cast<std::int32_t>(digit(q++));
          if ((q == p + 1 || c != '0') && numeric::ends_integer(data, q, size, after_dot)) {
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

bool scan_tokens(LexerInput& in, std::vector<Token>& tokens) {
  NoStop none;
  return scan_loop(in, tokens, none);
}

bool scan_tokens(LexerInput& in, KeptTokens& tokens, std::vector<std::size_t>& owners) {
  NoStop none;
  return scan_loop(in, tokens, none, Owners{owners});
}

bool scan_tokens(LexerInput& in, std::vector<Token>& tokens, BraceRule& rule) { return scan_loop(in, tokens, rule); }

bool scan_tokens(LexerInput& in, std::vector<Token>& tokens, ParenRule& rule) { return scan_loop(in, tokens, rule); }

}  // namespace vaxo_core::lexer::scanner

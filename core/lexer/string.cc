#include "core/lexer/string.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "core/base/byte_scan.h"
#include "core/diagnostic/internal_error.h"
#include "core/lexer/combinator.h"
#include "core/lexer/identifier.h"
#include "core/lexer/lexer.h"
#include "core/lexer/name_scan.h"
#include "core/lexer/scanner.h"

namespace vaxo_core::lexer::string {

namespace {

using Fragment = StringFragment;

bool is_quote(int c) { return c == '\'' || c == '"' || c == '`'; }

int hex_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The first byte at or after `p` that is `a`, `b` or `c`, or `size`.
std::size_t find_any_of3(const char* data, std::size_t p, std::size_t size, char a, char b, char c) {
  return base::byte_scan::find(data, p, size, base::byte_scan::any_of(a, b, c));
}

// A run of plain text: up to `$`, a backslash (unless verbatim) or the quote.
// Every stop character is ASCII, so bytes can be scanned directly.
std::optional<std::string_view> literal_str(LexerInput& in, std::optional<char32_t> quote, bool verbatim) {
  const std::size_t start = in.position;
  const std::size_t size = in.text.size();
  const char* data = in.text.data();
  std::size_t p = start;
  if (!quote && verbatim) {
    // A template's text runs to the next `$`.
    const void* at = std::memchr(data + start, '$', size - start);
    p = at == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(at) - data);
  } else {
    const char q = quote ? static_cast<char>(*quote) : '$';
    const char bs = verbatim ? '$' : '\\';
    p = find_any_of3(data, p, size, '$', bs, q);
  }
  if (p == start) return std::nullopt;
  in.position = p;
  return in.slice(start);
}

// Literal text of a body up to the next interpolation (or the end): pieces
// that follow each other in the source stay one view of it; an escape, or a
// piece after a gap, makes the text owned.
struct TextBuilder {
  std::string_view view;
  std::string owned;
  bool is_owned = false;

  void add(std::string_view piece, bool owned_piece) {
    if (piece.empty()) return;
    if (!is_owned && !owned_piece) {
      if (view.empty()) {
        view = piece;
        return;
      }
      if (piece.data() == view.data() + view.size()) {
        view = std::string_view(view.data(), view.size() + piece.size());
        return;
      }
    }
    if (!is_owned) {
      owned.assign(view);
      is_owned = true;
    }
    owned.append(piece);
  }
  CowText finish() { return is_owned ? CowText::owned(std::move(owned)) : CowText(view); }
  // Empty again, after finish().
  void reset() {
    view = {};
    if (is_owned) {
      owned.clear();
      is_owned = false;
    }
  }
  std::string finish_owned() { return is_owned ? std::move(owned) : std::string(view); }
};

// The run's scratch list among `lists` for the current nesting depth,
// emptied; null without run state (read into a fresh list then).
template <typename T>
std::vector<T>* scratch_list(LexerInput& in, std::vector<std::unique_ptr<std::vector<T>>> LexerScratch::*lists) {
  if (in.scratch == nullptr || in.nesting == nullptr) return nullptr;
  auto& by_depth = in.scratch->*lists;
  const std::size_t depth = in.nesting->depth();
  while (by_depth.size() <= depth) by_depth.push_back(std::make_unique<std::vector<T>>());
  std::vector<T>* list = by_depth[depth].get();
  list->clear();
  return list;
}

// The tokens of a string's interpolations live as long as its token. A
// quoted string's were read into the run's scratch list and get exactly the
// room they need, built from the range at once (no capacity check per
// token). A template's were read into a list of its own, reserved for it,
// which it keeps: a copy would double its peak.
std::vector<Token> take_tokens(std::vector<Token>& list, bool keep) {
  if (keep) return std::move(list);
  std::vector<Token> out(std::make_move_iterator(list.begin()), std::make_move_iterator(list.end()));
  list.clear();
  return out;
}

// The parts of a string, read into a scratch list: a short list gets
// exactly the room it needs; a long one (a template's) keeps the list it was
// read into, as a copy would double its peak and its unused tail is never
// written.
std::vector<InterpolatedPart> take_parts(std::vector<InterpolatedPart>& list) {
  if (list.size() > 64) return std::move(list);
  std::vector<InterpolatedPart> out;
  out.reserve(list.size());
  for (auto& part : list) out.push_back(std::move(part));
  list.clear();
  return out;
}

// What reading one body builds, fed its pieces in source order: the parts
// before each interpolation, the text since the last one and the faults of
// the escapes; and, where `record` points (the info read again), the
// fragments themselves. The interpolations are scanned straight into the end
// of `tokens` (kept by the token when `keep_tokens`, else copied).
class Body {
 public:
  Body(std::vector<InterpolatedPart>& parts, std::vector<Token>& tokens, bool keep_tokens,
       std::vector<Fragment>* record)
      : parts_(parts), tokens_(tokens), record_(record), keep_tokens_(keep_tokens) {}

  std::vector<Token>& tokens() { return tokens_; }

  void literal(std::string_view text) {
    first_is_literal_ = first_is_literal_ || fragments_ == 0;
    ++fragments_;
    text_.add(text, false);
    if (record_ != nullptr) record_->push_back(Fragment{Fragment::Literal{text}});
  }
  void escaped(char32_t value, std::string_view written) {
    ++fragments_;
    char buf[4];
    std::size_t n = 0;
    struct Sink {
      char* buf;
      std::size_t* n;
      void push_back(char c) { buf[(*n)++] = c; }
    } sink{buf, &n};
    utf8::append(sink, value);
    text_.add(std::string_view(buf, n), true);
    if (record_ != nullptr) record_->push_back(Fragment{Fragment::EscapedChar{value, written}});
  }
  // `range` is what follows the backslash.
  void invalid(ByteRange range, DiagnosticCode error) {
    ++fragments_;
    escape_errors_.push_back(SourceDiagnostic{ByteRange{range.start - 1, range.end}, error});
    if (record_ != nullptr) record_->push_back(Fragment{Fragment::InvalidEscapedChar{range, error}});
  }
  // The interpolation's tokens are those from `first` to the end of
  // tokens(). `begin` and `end` are the delimiters of a `$(` form, else null.
  void interpolation(std::string_view dollars, std::size_t first, std::string_view format, const Token* begin,
                     const Token* end) {
    ++fragments_;
    // Checked once for all in finish().
    parts_.emplace_back(text_.finish(), static_cast<std::uint32_t>(first),
                        static_cast<std::uint32_t>(tokens_.size() - first), format);
    text_.reset();
    if (record_ != nullptr) {
      Box<std::pair<Token, Token>> delimiters;
      if (begin != nullptr) delimiters = Box<std::pair<Token, Token>>(std::pair<Token, Token>{*begin, *end});
      record_->push_back(Fragment{Fragment::Interpolation{dollars, {}, format, std::move(delimiters)}});
    }
  }
  bool keeps_delimiters() const { return record_ != nullptr; }

  // The token of a body that ended at `in` (`terminated`: at its closing
  // delimiter), described by `info` and begun at `start`.
  TokenKind finish(const LexerInput& in, std::size_t start, const StringInfo& info, bool terminated,
                   bool unterminated) {
    if (terminated && fragments_ == 1 && first_is_literal_) {
      // One plain run: the value is a view and the info is described, not built.
      return TokenKind::String{CowText(text_.view),
                               StringInfoBox::plain(in.text, info.leading_range.start, text_.view.size())};
    }
    std::vector<SourceDiagnostic> errors;
    if (unterminated || !escape_errors_.empty()) {
      errors.reserve(escape_errors_.size() + 1);
      if (unterminated) {
        errors.push_back(SourceDiagnostic{ByteRange{in.position, in.position}, DiagnosticCode::UnterminatedString});
      }
      errors.insert(errors.end(), escape_errors_.begin(), escape_errors_.end());
    }
    StringInfoBox described = StringInfoBox::reread(in.text, start, info.quote.has_value());
    TokenKind kind;
    if (!parts_.empty()) {
      if (tokens_.size() > UINT32_MAX) throw std::bad_alloc();
      parts_.emplace_back(text_.finish(), static_cast<std::uint32_t>(tokens_.size()), 0, std::string_view{});
      kind = TokenKind::InterpolatedString{take_parts(parts_), std::move(described),
                                           take_tokens(tokens_, keep_tokens_)};
    } else {
      kind = TokenKind::String{CowText::owned(text_.finish_owned()), std::move(described)};
    }
    if (errors.empty()) return kind;
    return TokenKind::unknown_errors(std::move(kind), std::move(errors));
  }

 private:
  std::vector<InterpolatedPart>& parts_;
  std::vector<Token>& tokens_;
  std::vector<Fragment>* record_;
  bool keep_tokens_;
  TextBuilder text_;
  std::vector<SourceDiagnostic> escape_errors_;
  std::size_t fragments_ = 0;
  bool first_is_literal_ = false;
};

// What reading at one place of a body did.
enum class Step {
  Read,     // one piece
  End,      // the body ended: its closing delimiter, or the end of the input
  NoMatch,  // nothing of this kind here; nothing consumed
  Fail,     // the nesting budget is spent
};

// Right after a format colon: the raw format text up to the `)` that closes
// the interpolation (not consumed) or the end of the input.
std::string_view format_string(LexerInput& in) {
  const std::size_t start = in.position;
  std::int64_t depth = 0;
  bool in_class = false;
  while (!in.at_end()) {
    const std::size_t here = in.position;
    auto d = in.peek();
    in.advance(d.len);
    switch (d.ch) {
      case U'\\':
        if (!in.at_end()) in.advance(in.peek().len);
        break;
      case U'[':
        in_class = true;
        break;
      case U']':
        in_class = false;
        break;
      case U'(':
        if (!in_class) ++depth;
        break;
      case U')':
        if (in_class) break;
        if (depth == 0) {
          in.reset(here);
          return in.text.substr(start, here - start);
        }
        --depth;
        break;
      default:
        break;
    }
  }
  return in.slice(start);
}

// Right after a backslash: one escape. The end of the input ends the body.
Step escape(LexerInput& in, Body& body) {
  if (in.at_end()) return Step::End;
  const std::size_t start = in.position;
  auto simple = [&](char32_t value) {
    in.advance(1);
    body.escaped(value, in.slice(start));
    return Step::Read;
  };
  switch (in.byte_at(0)) {
    case '0': return simple(U'\0');
    case 'r': return simple(U'\r');
    case 'n': return simple(U'\n');
    case 't': return simple(U'\t');
    case 'b': return simple(U'\b');
    case 'f': return simple(U'\f');
    case 'v': return simple(U'\v');
    case '\\': return simple(U'\\');
    case '"': return simple(U'"');
    case '\'': return simple(U'\'');
    case '`': return simple(U'`');
    case '$': return simple(U'$');
    case 'x': {
      int h1 = hex_value(in.byte_at(1));
      int h2 = hex_value(in.byte_at(2));
      if (h1 >= 0 && h2 >= 0) {
        in.advance(3);
        int v = h1 * 16 + h2;
        if (v <= 0x7F) {
          body.escaped(static_cast<char32_t>(v), in.slice(start));
        } else {
          body.invalid(ByteRange{start, in.position}, DiagnosticCode::InvalidHexEscapeSequence);
        }
        return Step::Read;
      }
      break;
    }
    case 'u': {
      if (in.byte_at(1) != '{') break;
      std::size_t p = 2;
      std::uint64_t value = 0;
      bool overflow = false;
      while (hex_value(in.byte_at(p)) >= 0) {
        value = value * 16 + static_cast<std::uint64_t>(hex_value(in.byte_at(p)));
        if (value > 0xFFFFFFFFull) {
          overflow = true;
          value = 0xFFFFFFFFull + 1;  // stays past 32 bits; never wraps
        }
        ++p;
      }
      if (p == 2 || in.byte_at(p) != '}') break;
      in.advance(p + 1);
      bool scalar = !overflow && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
      if (!scalar) {
        body.invalid(ByteRange{start, in.position}, DiagnosticCode::InvalidUnicodeEscapeSequence);
      } else {
        body.escaped(static_cast<char32_t>(value), in.slice(start));
      }
      return Step::Read;
    }
    default:
      break;
  }
  auto d = in.peek();
  in.advance(d.len);
  body.invalid(ByteRange{start, in.position}, DiagnosticCode::InvalidEscapeSequence);
  return Step::Read;
}

// The name of a `$name` interpolation: a keyword there (but a constant) is a
// fault, recovered as `nil`.
void name_interpolation(Token& token) {
  if (const auto* kw = token.kind.get_if<TokenKind::Keyword>(); kw != nullptr && !is_constant(kw->keyword)) {
    token.kind = TokenKind::unknown(Keyword::Nil, token.range,
                                    is_reserved(kw->keyword) ? DiagnosticCode::InvalidReservedKeyword
                                                             : DiagnosticCode::InvalidKeyword);
  }
}

// Right after a `$` run: an interpolation, or the dollars as text. On failure
// the position is back after the dollars.
Step interpolation(LexerInput& in, std::string_view dollars, Body& body) {
  const std::size_t cp = in.position;
  if (in.at_end()) {
    body.literal(dollars);
    return Step::Read;
  }
  if (const int c = in.byte_at(0); (c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
    // The commonest form, `$name`: read as the token loop reads names.
    std::vector<Token>& tokens = body.tokens();
    const std::size_t from = tokens.size();
    Token& token = tokens.emplace_back();
    const std::size_t start = in.position;
    scanner::ascii_name_into(in, token.kind);
    token.range = ByteRange{start, in.position};
    name_interpolation(token);
    body.interpolation(dollars, from, {}, nullptr, nullptr);
    return Step::Read;
  }
  auto next = in.peek();

  if (next.ch == U'{' || next.ch == U'(') {
    // Each level of interpolation recurses into the token loop.
    std::optional<DepthGuard> guard;
    if (in.nesting != nullptr) {
      guard.emplace(*in.nesting);
      if (!*guard) {
        in.reset(cp);
        return Step::Fail;
      }
    }
    std::vector<Token>& tokens = body.tokens();
    const std::size_t from = tokens.size();
    const auto fail = [&] {
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(from), tokens.end());
      in.reset(cp);
      return Step::Fail;
    };
    if (next.ch == U'{') {
      scanner::BraceRule rule;
      if (!scanner::scan_tokens(in, tokens, rule)) return fail();
      body.interpolation(dollars, from, {}, nullptr, nullptr);
      return Step::Read;
    }

    // The `(` is not part of the list: the loop starts inside it.
    scanner::ParenRule rule;
    rule.depth = 1;
    in.advance(1);
    if (!scanner::scan_tokens(in, tokens, rule)) return fail();
    std::string_view format;
    std::optional<Token> end;
    if (rule.has_format) {
      format = format_string(in);
      if (tokens.size() == from) throw InternalError("assertion failed: last.is_some()");
      tokens.pop_back();  // the format colon
      auto closing = scanner::token(in, nullptr);
      if (!closing) return fail();
      end = std::move(*closing);
    } else if (tokens.size() > from && tokens.back() == Operator::CloseParen) {
      end = std::move(tokens.back());
      tokens.pop_back();
    } else {
      // The text ended first: the list keeps its Eof.
      end = Token::empty(tokens.size() == from ? cp : tokens.back().range.end);
    }
    if (tokens.size() == from) tokens.push_back(Token::empty(cp + 1));
    std::optional<Token> begin;
    if (body.keeps_delimiters()) begin = Token::make(TokenKind::Operator{Operator::OpenParen}, ByteRange{cp, cp + 1});
    body.interpolation(dollars, from, format, begin ? &*begin : nullptr, begin ? &*end : nullptr);
    return Step::Read;
  }

  if (identifier::is_identifier_start(next.ch) || identifier::is_identifier_special(next.ch)) {
    const std::size_t start = in.position;
    // The name is read straight into the string's token list.
    std::vector<Token>& tokens = body.tokens();
    const std::size_t from = tokens.size();
    Token& token = tokens.emplace_back();
    identifier::identifier_into(in, true, token.kind);  // cannot fail: a name starts here
    token.range = ByteRange{start, in.position};
    name_interpolation(token);
    body.interpolation(dollars, from, {}, nullptr, nullptr);
    return Step::Read;
  }

  body.literal(dollars);
  return Step::Read;
}

// `$` (plain) or a `$` run of at most `ats` (verbatim); a backslash escape in
// a plain literal. On failure the position is back before the dollars.
Step escape_or_interpolation(LexerInput& in, std::size_t ats, Body& body) {
  const std::size_t start = in.position;
  Step step;
  if (ats == 0) {
    int c = in.byte_at(0);
    if (c == '\\') {
      in.advance(1);
      return escape(in, body);
    }
    if (c != '$') return Step::NoMatch;
    in.advance(1);
    step = interpolation(in, in.slice(start), body);
  } else {
    std::size_t count = 0;
    while (count < ats && in.byte_at(0) == '$') {
      in.advance(1);
      ++count;
    }
    if (count == 0) return Step::NoMatch;
    std::string_view dollars = in.slice(start);
    if (count < ats) {
      body.literal(dollars);
      return Step::Read;
    }
    step = interpolation(in, dollars, body);
  }
  if (step == Step::Fail) in.reset(start);
  return step;
}

// The closing quote with exactly `ats` `@`, or the text read as a literal.
Step end_of_string(LexerInput& in, StringInfo& info, Body& body) {
  if (!info.quote) return Step::Fail;  // unreachable: a template reads every `$`
  if (in.at_end() || in.byte_at(0) != static_cast<int>(*info.quote)) return Step::Fail;
  const std::size_t start = in.position;
  in.advance(1);
  std::size_t count = 0;
  while (count < info.ats && in.byte_at(0) == '@') {
    in.advance(1);
    ++count;
  }
  if (count == info.ats) {
    info.trailing_range = ByteRange{start, in.position};
    return Step::End;
  }
  body.literal(in.slice(start));
  return Step::Read;
}

// Right after the opening quote: a literal that is one plain run of text and
// then its closing delimiter, read in one pass. The body loop below would
// read the same: that run as its only fragment, then the end of the string.
// Anything else is left to it (nothing consumed).
std::optional<TokenKind> plain_literal(LexerInput& in, std::size_t start, std::size_t ats, char quote) {
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  const std::size_t body = in.position;
  const char escape = ats > 0 ? '$' : '\\';
  std::size_t p = body;
  p = find_any_of3(data, p, size, quote, '$', escape);
  if (p == body || p >= size || data[p] != quote) return std::nullopt;
  if (size - p - 1 < ats) return std::nullopt;
  for (std::size_t i = 1; i <= ats; ++i) {
    if (data[p + i] != '@') return std::nullopt;
  }
  in.position = p + 1 + ats;
  const std::string_view text(data + body, p - body);
  return TokenKind(TokenKind::String{CowText(text), StringInfoBox::plain(in.text, start, text.size())});
}

// Reads a body described by `info` (a template when `info.quote` is absent;
// the literal or template begins at `start`) up to its closing delimiter or
// the end of the input, building the token as it goes. The fragments are
// kept only where `record` points (when the info is read again).
std::optional<TokenKind> read_body(LexerInput& in, std::size_t start, StringInfo& info,
                                   std::vector<Fragment>* record) {
  // The parts wait in the run's scratch list, so that a short string gets
  // them in one allocation of the right size.
  std::vector<InterpolatedPart> fresh;
  std::vector<InterpolatedPart>* scratch = scratch_list(in, &LexerScratch::parts);
  std::vector<InterpolatedPart>& parts = scratch != nullptr ? *scratch : fresh;
  // A template is one long body: its parts get room for one per 32 bytes
  // left, once.
  if (!info.quote && parts.capacity() == 0) parts.reserve((in.text.size() - in.position) / 32 + 4);
  // The tokens likewise: a quoted string's in the run's scratch list of its
  // depth (a string nested in one of its interpolations is deeper), a
  // template's in a list of its own, reserved as its parts are.
  std::vector<Token> own;
  std::vector<Token>* scratch_tokens = info.quote ? scratch_list(in, &LexerScratch::tokens) : nullptr;
  std::vector<Token>& tokens = scratch_tokens != nullptr ? *scratch_tokens : own;
  if (!info.quote) own.reserve((in.text.size() - in.position) / 32 + 4);
  Body body(parts, tokens, !info.quote, record);
  const bool verbatim = info.ats > 0;
  for (;;) {
    if (auto s = literal_str(in, info.quote, verbatim)) {
      body.literal(*s);
      continue;
    }
    const std::size_t cp = in.position;
    Step step = escape_or_interpolation(in, info.ats, body);
    if (step == Step::NoMatch) {
      if (in.nesting != nullptr && in.nesting->exhausted()) return std::nullopt;
      in.reset(cp);
      if (in.at_end()) {
        step = Step::End;
      } else {
        step = end_of_string(in, info, body);
        if (step == Step::End) return body.finish(in, start, info, true, false);
      }
    }
    if (step == Step::Fail) return std::nullopt;
    // The end of the input ends a template; a literal is unterminated then.
    if (step == Step::End) return body.finish(in, start, info, false, info.quote.has_value());
  }
}

}  // namespace

std::optional<TokenKind> string(LexerInput& in) {
  const std::size_t start = in.position;
  std::size_t ats = 0;
  while (in.byte_at(0) == '@') {
    in.advance(1);
    ++ats;
  }
  int q = in.byte_at(0);
  if (!is_quote(q)) {
    in.reset(start);
    return std::nullopt;
  }
  in.advance(1);
  if (auto plain = plain_literal(in, start, ats, static_cast<char>(q))) return plain;
  StringInfo info;
  info.leading_range = ByteRange{start, in.position};
  info.ats = ats;
  info.quote = static_cast<char32_t>(q);
  return read_body(in, start, info, nullptr);
}

namespace {

// A template is one verbatim body with one `@` and no quote, over the whole
// text.
StringInfo template_info(std::string_view text) {
  StringInfo info;
  info.leading_range = ByteRange{0, 0};
  info.trailing_range = ByteRange{text.size(), text.size()};
  info.ats = 1;
  return info;
}

}  // namespace

std::optional<TokenKind> template_string(LexerInput& in) {
  StringInfo info = template_info(in.text);
  return read_body(in, in.position, info, nullptr);
}

StringInfo read_info(std::string_view source, std::size_t start, std::size_t ats, std::optional<char32_t> quote) {
  NestingBudget budget(kMaxInterpolationDepth);
  LexerScratch scratch;
  LexerInput in;
  in.text = source;
  in.nesting = &budget;
  in.scratch = &scratch;
  StringInfo info;
  if (quote) {
    info.leading_range = ByteRange{start, start + ats + 1};
    info.ats = ats;
    info.quote = quote;
    in.position = start + ats + 1;
  } else {
    info = template_info(source);
    in.position = start;
  }
  std::vector<Fragment> content;
  if (!read_body(in, start, info, &content)) throw InternalError("a string literal could not be read again");
  info.content = std::move(content);
  return info;
}

}  // namespace vaxo_core::lexer::string

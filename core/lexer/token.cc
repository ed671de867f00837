#include "core/lexer/token.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <iterator>

#include "core/lexer/string.h"
#include "core/lexer/utf8.h"

namespace vaxo_core::lexer {

void TokenKind::destroy_payload() noexcept {
  void* p = word_.box;
  switch (tag()) {
    case Tag::Number:
      if (low_bits() == 0) payload::destroy(static_cast<BoxedNumber*>(p));
      return;
    case Tag::String: payload::destroy(static_cast<String*>(p)); return;
    case Tag::InterpolatedString: payload::destroy(static_cast<InterpolatedString*>(p)); return;
    case Tag::Unknown: payload::destroy(static_cast<Unknown*>(p)); return;
    case Tag::Eof:
    case Tag::Identifier:
    case Tag::Ordinal:
    case Tag::Operator:
    case Tag::Keyword:
    case Tag::Empty:
      return;
  }
}

void TokenKind::copy_payload(const TokenKind& other) {
  // A moved-from kind is copied as one: the tag and no payload.
  put_boxed(other.tag(), nullptr);
  void* box = nullptr;
  switch (other.tag()) {
    case Tag::Number:
      if (other.low_bits() != 0) {
        word_ = other.word_;
        head_ = other.head_;
        return;
      }
      if (const auto* x = static_cast<const BoxedNumber*>(other.word_.box)) box = payload::make<BoxedNumber>(*x);
      break;
    case Tag::String:
      if (auto* x = other.get_if<String>()) box = payload::make<String>(*x);
      break;
    case Tag::InterpolatedString:
      if (auto* x = other.get_if<InterpolatedString>()) box = payload::make<InterpolatedString>(*x);
      break;
    case Tag::Unknown:
      if (auto* x = other.get_if<Unknown>()) box = payload::make<Unknown>(*x);
      break;
    case Tag::Eof:
    case Tag::Identifier:
    case Tag::Ordinal:
    case Tag::Operator:
    case Tag::Keyword:
    case Tag::Empty:
      break;
  }
  word_.box = box;
}

StringInfoBox::StringInfoBox(const StringInfoBox& other)
    : data_(other.data_), size_(other.size_), start_(other.start_) {
  if (other.mode() == Mode::Built && other.data_ != nullptr) data_ = new StringInfo(*other.built());
}

StringInfo* StringInfoBox::build() const {
  const char* source = static_cast<const char*>(data_);
  const std::size_t start = this->start();
  StringInfo info;
  if (mode() == Mode::Template) {
    info = string::read_info(std::string_view(source, size_), start, 0, std::nullopt);
  } else {
    std::size_t ats = 0;
    while (source[start + ats] == '@') ++ats;
    const auto quote = static_cast<char32_t>(static_cast<unsigned char>(source[start + ats]));
    const std::size_t body = start + ats + 1;
    if (mode() == Mode::Quoted) {
      info = string::read_info(std::string_view(source, size_), start, ats, quote);
    } else {
      const std::size_t close = body + size_;
      info.leading_range = ByteRange{start, body};
      info.trailing_range = ByteRange{close, close + 1 + ats};
      info.ats = ats;
      info.quote = quote;
      info.content.push_back(StringFragment{StringFragment::Literal{std::string_view(source + body, size_)}});
    }
  }
  auto* full = new StringInfo(std::move(info));
  data_ = full;
  start_ = 0;
  return full;
}

TokenKind TokenKind::unknown(TokenKind recovered, ByteRange error_range, DiagnosticCode error) {
  Unknown u;
  u.recovered = Box<TokenKind>(std::move(recovered));
  u.errors.push_back(SourceDiagnostic{error_range, error});
  return TokenKind(std::move(u));
}

TokenKind TokenKind::unknown(lexer::Operator recovered, ByteRange error_range, DiagnosticCode error) {
  return unknown(TokenKind(recovered), error_range, error);
}

TokenKind TokenKind::unknown(lexer::Keyword recovered, ByteRange error_range, DiagnosticCode error) {
  return unknown(TokenKind(recovered), error_range, error);
}

TokenKind TokenKind::unknown_errors(TokenKind recovered, std::vector<SourceDiagnostic> errors) {
  Unknown u;
  u.recovered = Box<TokenKind>(std::move(recovered));
  u.errors = std::move(errors);
  return TokenKind(std::move(u));
}

void Token::wrap_as_unknown(Token& token, DiagnosticCode error) {
  token.kind = TokenKind::unknown(std::move(token.kind), token.range, error);
}

bool TokenKind::is_number_literal() const { return is_finite_number_literal() || *this == lexer::Keyword::Inf; }

bool TokenKind::is_number_nan_literal() const { return is_number_literal() || *this == lexer::Keyword::Nan; }

bool TokenKind::is_boolean_literal() const {
  return *this == lexer::Keyword::True || *this == lexer::Keyword::False;
}

std::optional<lexer::Operator> TokenKind::as_operator() const {
  if (auto* o = get_if<Operator>()) return o->op;
  return std::nullopt;
}

std::optional<lexer::Keyword> TokenKind::as_keyword() const {
  if (auto* k = get_if<Keyword>()) return k->keyword;
  return std::nullopt;
}

std::optional<std::string_view> TokenKind::to_id_name() const {
  if (const auto id = get_if<Identifier>()) return id->name;
  return std::nullopt;
}

std::optional<FieldName> TokenKind::to_field_name() const {
  switch (tag()) {
    case Tag::Identifier:
      return FieldName{DiagnosticCode::RecordFieldIdName, CowText(get_if<Identifier>()->name)};
    case Tag::Keyword:
      return FieldName{DiagnosticCode::RecordFieldIdName, CowText(text(get_if<Keyword>()->keyword))};
    case Tag::Ordinal:
      return FieldName{DiagnosticCode::RecordFieldOrdinalName,
                       CowText::owned(std::to_string(get_if<Ordinal>()->value))};
    case Tag::String:
      return FieldName{DiagnosticCode::RecordFieldStringName, CowText(get_if<String>()->value.view())};
    case Tag::Eof:
    case Tag::Number:
    case Tag::InterpolatedString:
    case Tag::Operator:
    case Tag::Unknown:
    case Tag::Empty:
      return std::nullopt;
  }
  return std::nullopt;
}

bool operator==(const TokenKind& a, const TokenKind& b) {
  if (a.tag() != b.tag()) return false;
  using K = TokenKind;
  using Tag = K::Tag;
  // Boxed payloads: a moved-from kind holds none and equals only another such.
  auto both = [](const auto* x, const auto* y, auto&& equal) {
    if (x == nullptr || y == nullptr) return x == y;
    return equal(*x, *y);
  };
  switch (a.tag()) {
    case Tag::Eof:
    case Tag::Empty:
      return true;
    case Tag::Identifier:
      return a.get_if<K::Identifier>()->name == b.get_if<K::Identifier>()->name;
    case Tag::Ordinal:
      return a.get_if<K::Ordinal>()->value == b.get_if<K::Ordinal>()->value;
    case Tag::Number:
      return both(a.get_if<K::Number>(), b.get_if<K::Number>(), [](const K::NumberValue& x, const K::NumberValue& y) {
        return std::bit_cast<std::uint64_t>(x.value) == std::bit_cast<std::uint64_t>(y.value);
      });
    case Tag::String:
      return both(a.get_if<K::String>(), b.get_if<K::String>(),
                  [](const K::String& x, const K::String& y) { return x.value == y.value; });
    case Tag::InterpolatedString:
      return both(a.get_if<K::InterpolatedString>(), b.get_if<K::InterpolatedString>(),
                  [](const K::InterpolatedString& x, const K::InterpolatedString& y) {
                    if (x.parts.size() != y.parts.size()) return false;
                    for (std::size_t i = 0; i < x.parts.size(); ++i) {
                      const InterpolatedPart& p = x.parts[i];
                      const InterpolatedPart& q = y.parts[i];
                      const auto a = x.tokens_of(p);
                      const auto b = y.tokens_of(q);
                      if (p.text != q.text || p.format != q.format || !std::equal(a.begin(), a.end(), b.begin(), b.end())) {
                        return false;
                      }
                    }
                    return true;
                  });
    case Tag::Operator:
      return a.get_if<K::Operator>()->op == b.get_if<K::Operator>()->op;
    case Tag::Keyword:
      return a.get_if<K::Keyword>()->keyword == b.get_if<K::Keyword>()->keyword;
    case Tag::Unknown:
      return both(a.get_if<K::Unknown>(), b.get_if<K::Unknown>(), [](const K::Unknown& x, const K::Unknown& y) {
        if (!x.recovered || !y.recovered) return !x.recovered && !y.recovered;
        return *x.recovered == *y.recovered;
      });
  }
  return false;
}

namespace {

bool is_printable(char32_t ch) {
  switch (u_charType(static_cast<UChar32>(ch))) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
      return false;
    case U_SPACE_SEPARATOR:
      return ch == U' ';
    default:
      return true;
  }
}

void append_hex_escape(std::string& out, char32_t ch) {
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, static_cast<std::uint32_t>(ch), 16);
  out += "\\u{";
  out.append(buf, res.ptr);
  out += '}';
}

void append_number(std::string& out, double v) {
  if (std::isnan(v)) {
    out += "NaN";
    return;
  }
  if (std::isinf(v)) {
    out += v < 0 ? "-inf" : "inf";
    return;
  }
  // Shortest round-trip digits in plain notation: at most ~330 characters.
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  out.append(buf, res.ptr);
}

void append_kind(std::string& out, const TokenKind& kind);

void append_token_list(std::string& out, std::span<const Token> tokens) {
  for (const auto& t : tokens) append_kind(out, t.kind);
}

void append_kind(std::string& out, const TokenKind& kind) {
  using Tag = TokenKind::Tag;
  switch (kind.tag()) {
    case Tag::Eof:
      out += "\u2403";
      return;
    case Tag::Identifier:
      out += kind.get_if<TokenKind::Identifier>()->name;
      return;
    case Tag::Ordinal:
      out += std::to_string(kind.get_if<TokenKind::Ordinal>()->value);
      return;
    case Tag::Number:
      append_number(out, kind.get_if<TokenKind::Number>()->value);
      return;
    case Tag::String:
      out += '"';
      out += debug_escape(kind.get_if<TokenKind::String>()->value.view());
      out += '"';
      return;
    case Tag::InterpolatedString: {
      out += '"';
      const auto* s = kind.get_if<TokenKind::InterpolatedString>();
      for (const auto& part : s->parts) {
        out += debug_escape(part.text.view());
        if (part.count != 0) {
          out += "$(";
          append_token_list(out, s->tokens_of(part));
          if (!part.format.empty()) {
            out += ':';
            out += part.format;
          }
          out += ')';
        }
      }
      out += '"';
      return;
    }
    case Tag::Operator:
      out += text(kind.get_if<TokenKind::Operator>()->op);
      return;
    case Tag::Keyword:
      out += text(kind.get_if<TokenKind::Keyword>()->keyword);
      return;
    case Tag::Unknown:
      out += "<?";
      if (const auto& r = kind.get_if<TokenKind::Unknown>()->recovered) append_kind(out, *r);
      out += '>';
      return;
    case Tag::Empty:
      return;
  }
}

}  // namespace

std::string debug_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto [ch, len] = utf8::decode(text, pos);
    switch (ch) {
      case U'\\': out += "\\\\"; break;
      case U'"': out += "\\\""; break;
      case U'\'': out += "\\'"; break;
      case U'\t': out += "\\t"; break;
      case U'\r': out += "\\r"; break;
      case U'\n': out += "\\n"; break;
      case U'\0': out += "\\0"; break;
      default:
        if (!is_printable(ch) || (pos == 0 && u_hasBinaryProperty(static_cast<UChar32>(ch), UCHAR_GRAPHEME_EXTEND))) {
          append_hex_escape(out, ch);
        } else {
          out.append(text.substr(pos, len));
        }
    }
    pos += len;
  }
  return out;
}

std::string TokenKind::to_string() const {
  std::string out;
  append_kind(out, *this);
  return out;
}

}  // namespace vaxo_core::lexer

namespace vaxo_core::lexer {

void TokenKind::InterpolatedString::add_part(CowText text, std::vector<Token> run, std::string_view format) {
  const auto first = static_cast<std::uint32_t>(tokens.size());
  tokens.insert(tokens.end(), std::make_move_iterator(run.begin()), std::make_move_iterator(run.end()));
  parts.emplace_back(std::move(text), first, static_cast<std::uint32_t>(run.size()), format);
}

}  // namespace vaxo_core::lexer

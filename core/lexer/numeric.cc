#include "core/lexer/numeric.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "core/lexer/identifier.h"

namespace vaxo_core::lexer::numeric {

namespace {

constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kI32Max = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());

bool is_dec(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_hex(unsigned char c) { return is_dec(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_oct(unsigned char c) { return c >= '0' && c <= '7'; }
bool is_bin(unsigned char c) { return c == '0' || c == '1'; }

TokenKind wrap(TokenKind kind, ByteRange range, DiagnosticCode code) {
  return TokenKind::unknown(std::move(kind), range, code);
}

// A run of `+`/`-` followed by a number part, as one optional piece.
bool sign_then_number_part(LexerInput& in) {
  auto cp = in.checkpoint();
  int b = in.byte_at(0);
  if (b == '+' || b == '-') in.advance(1);
  if (number_part(in)) return true;
  in.reset(cp);
  return false;
}

}  // namespace

ParsedPart parse_part(std::string_view text, std::uint32_t radix, DigitTest is_digit) {
  ParsedPart r;
  r.radix = radix;
  if (text == "0") {
    r.is_valid_ordinal = true;
    return r;
  }
  bool has_underscore = false;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '_') {
      has_underscore = true;
    } else if (!is_digit(c)) {
      r.has_invalid_char = true;
    }
  }
  bool has_leading_zero = !text.empty() && text.front() == '0';
  r.has_leading_underscore = !text.empty() && text.front() == '_';
  r.has_trailing_underscore = !text.empty() && text.back() == '_';

  std::string filtered;
  std::string_view digits = text;
  if (r.has_invalid_char || has_underscore) {
    filtered.reserve(text.size());
    for (char ch : text) {
      if (is_digit(static_cast<unsigned char>(ch))) filtered.push_back(ch);
    }
    digits = filtered;
  }
  std::uint64_t value = 0;
  bool ok = false;
  if (digits.empty()) {
    r.has_invalid_char = true;
  } else {
    auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value, static_cast<int>(radix));
    if (res.ec == std::errc::result_out_of_range) {
      r.integer_overflow = true;
    } else if (res.ec == std::errc() && res.ptr == digits.data() + digits.size()) {
      ok = true;
    }
  }
  r.number = ok ? value : kU64Max;
  r.is_valid_ordinal = !has_underscore && r.number <= kI32Max && !has_leading_zero;
  r.ordinal = static_cast<std::int32_t>(r.number <= kI32Max ? r.number : kI32Max);
  return r;
}

TokenKind handle_ordinal(std::string_view text, ByteRange range) {
  ParsedPart p = parse_part(text, 10, is_dec);
  TokenKind kind = TokenKind::Ordinal{p.ordinal};
  if (!p.is_valid_ordinal) kind = wrap(std::move(kind), range, DiagnosticCode::InvalidOrdinalLiteral);
  if (p.has_invalid_char) return wrap(std::move(kind), range, DiagnosticCode::InvalidNumberLiteral);
  if (p.has_leading_underscore || p.has_trailing_underscore) {
    return wrap(std::move(kind), range, DiagnosticCode::InvalidNumberLiteralUnderscore);
  }
  return kind;
}

std::optional<std::string_view> number_part(LexerInput& in) {
  auto cp = in.checkpoint();
  if (identifier::skip_identifier_continue(in) == 0) return std::nullopt;
  return in.slice(cp);
}

std::optional<std::string_view> float_part(LexerInput& in) {
  auto cp = in.checkpoint();
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  std::size_t p = in.position;
  for (;;) {
    while (p < size && data[p] != 'e' && data[p] != 'E' && identifier::is_ascii_continue(static_cast<unsigned char>(data[p]))) ++p;
    if (p >= size || static_cast<unsigned char>(data[p]) < 0x80) break;
    auto d = utf8::decode(in.text, p);
    if (!identifier::is_identifier_continue(d.ch)) break;
    p += d.len;
  }
  in.position = p;
  if (in.position == cp) return std::nullopt;
  return in.slice(cp);
}

std::optional<double> parse_decimal(std::string_view text) {
  // Check the grammar first: from_chars accepts more (a bare "1e" as "1").
  std::size_t i = 0, n = text.size();
  auto digits = [&] {
    std::size_t s = i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
    return i - s;
  };
  std::size_t int_start = i;
  std::size_t int_digits = digits();
  if (int_digits == 0) return std::nullopt;
  std::size_t frac_start = i, frac_digits = 0;
  if (i < n && text[i] == '.') {
    ++i;
    frac_start = i;
    frac_digits = digits();
  }
  bool exp_negative = false;
  std::int64_t exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) exp_negative = text[i++] == '-';
    std::size_t s = i;
    if (digits() == 0) return std::nullopt;
    for (std::size_t k = s; k < i; ++k) {
      exponent = exponent * 10 + (text[k] - '0');
      if (exponent > 1'000'000'000) exponent = 1'000'000'000;  // saturate: far past any double
    }
    if (exp_negative) exponent = -exponent;
  }
  if (i != n) return std::nullopt;

  // Up to 19 digits whose value is exact in a double, scaled by an exact
  // power of ten: one correctly rounded operation gives the same double as
  // the full conversion (which may allocate).
  static constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (int_digits + frac_digits <= 19) {
    std::uint64_t mantissa = 0;
    for (std::size_t k = int_start; k < int_start + int_digits; ++k) mantissa = mantissa * 10 + (text[k] - '0');
    for (std::size_t k = frac_start; k < frac_start + frac_digits; ++k) mantissa = mantissa * 10 + (text[k] - '0');
    const std::int64_t scale = exponent - static_cast<std::int64_t>(frac_digits);
    if (mantissa <= (std::uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
      const auto m = static_cast<double>(mantissa);
      return scale >= 0 ? m * kExactPowers[scale] : m / kExactPowers[-scale];
    }
  }

  double value = 0.0;
  auto res = std::from_chars(text.data(), text.data() + n, value, std::chars_format::general);
  if (res.ec == std::errc() && res.ptr == text.data() + n) return value;
  if (res.ec != std::errc::result_out_of_range) return std::nullopt;
  // Out of range leaves `value` untouched: decide between overflow and
  // underflow from the decimal magnitude of the first significant digit.
  std::int64_t magnitude = 0;
  bool found = false;
  for (std::size_t k = int_start; k < int_start + int_digits; ++k) {
    if (text[k] != '0') {
      magnitude = static_cast<std::int64_t>(int_start + int_digits - k) - 1;
      found = true;
      break;
    }
  }
  if (!found) {
    for (std::size_t k = frac_start; k < frac_start + frac_digits; ++k) {
      if (text[k] != '0') {
        magnitude = -static_cast<std::int64_t>(k - frac_start) - 1;
        found = true;
        break;
      }
    }
  }
  if (!found) return 0.0;
  return magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

TokenKind ordinal(LexerInput& in) {
  auto start = in.position;
  auto text = number_part(in);
  if (!text) return TokenKind::Ordinal{0};  // unreachable: called at a digit
  return handle_ordinal(*text, ByteRange{start, in.position});
}

namespace {

// A short plain digit run that ends the literal (no `.`, no name character
// after it) and reads as an ordinal: the same result as the full path below.
std::optional<TokenKind> plain_ordinal(LexerInput& in) {
  const char* begin = in.text.data() + in.position;
  const char* end = in.text.data() + in.text.size();
  const char* p = begin;
  std::uint64_t value = 0;
  while (p < end && *p >= '0' && *p <= '9' && p - begin < 10) value = value * 10 + static_cast<unsigned>(*p++ - '0');
  if (p < end) {
    auto c = static_cast<unsigned char>(*p);
    if (c >= 0x80 || c == '.' || c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
        (c >= 'A' && c <= 'Z')) {
      return std::nullopt;
    }
  }
  if ((p - begin > 1 && *begin == '0') || value > kI32Max) return std::nullopt;
  in.position += static_cast<std::size_t>(p - begin);
  return TokenKind(TokenKind::Ordinal{static_cast<std::int32_t>(value)});
}

}  // namespace

TokenKind number(LexerInput& in) {
  if (auto fast = plain_ordinal(in)) return std::move(*fast);
  auto cp = in.checkpoint();
  auto first = number_part(in);
  if (!first) return TokenKind::Ordinal{0};  // unreachable: called at a digit
  ByteRange first_range{cp, in.position};

  // Prefixed integer.
  if (first->size() >= 2 && (*first)[0] == '0') {
    std::uint32_t radix = 0;
    DigitTest test = nullptr;
    switch ((*first)[1]) {
      case 'x': case 'X': radix = 16; test = is_hex; break;
      case 'o': case 'O': radix = 8; test = is_oct; break;
      case 'b': case 'B': radix = 2; test = is_bin; break;
      default: break;
    }
    if (radix != 0) {
      ParsedPart p = parse_part(first->substr(2), radix, test);
      NumberInfo info;
      if (radix == 16) {
        info.value = NumberInfo::Hexadecimal{p.number};
      } else if (radix == 8) {
        info.value = NumberInfo::Octal{p.number};
      } else {
        info.value = NumberInfo::Binary{p.number};
      }
      TokenKind kind = TokenKind::Number{static_cast<double>(p.number), info};
      if (p.has_invalid_char) return wrap(std::move(kind), first_range, DiagnosticCode::InvalidNumberLiteral);
      if (p.integer_overflow) return wrap(std::move(kind), first_range, DiagnosticCode::OverflowIntegerLiteral);
      if (p.has_trailing_underscore) {
        return wrap(std::move(kind), first_range, DiagnosticCode::InvalidNumberLiteralUnderscore);
      }
      return kind;
    }
  }

  // Decimal: find the full text (the position is at the end of `first`).
  char last = first->back();
  if (last == 'e' || last == 'E') {
    sign_then_number_part(in);
  } else if (first->find_first_of("eE") == std::string_view::npos) {
    {
      auto dot = in.checkpoint();
      if (in.byte_at(0) == '.') {
        in.advance(1);
        if (!float_part(in)) in.reset(dot);
      }
    }
    {
      auto e = in.checkpoint();
      int b = in.byte_at(0);
      if (b == 'e' || b == 'E') {
        in.advance(1);
        int s = in.byte_at(0);
        if (s == '+' || s == '-') in.advance(1);
        if (!number_part(in)) in.reset(e);
      }
    }
  }
  ByteRange range{cp, in.position};
  std::string_view full = in.slice(cp);

  if (range == first_range) {
    // What handle_ordinal would leave unwrapped.
    ParsedPart p = parse_part(*first, 10, is_dec);
    if (p.is_valid_ordinal && !p.has_invalid_char && !p.has_leading_underscore && !p.has_trailing_underscore) {
      return TokenKind::Ordinal{p.ordinal};
    }
  }

  bool has_invalid_char = false, has_underscore = false;
  for (char ch : full) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '_') {
      has_underscore = true;
    } else if (!is_valid_float_char(c)) {
      has_invalid_char = true;
    }
  }
  bool has_leading_underscore = full.front() == '_';
  bool has_trailing_underscore = full.back() == '_';

  std::optional<double> value;
  if (has_invalid_char || has_underscore) {
    std::string filtered;
    filtered.reserve(full.size());
    for (char ch : full) {
      if (is_valid_float_char(static_cast<unsigned char>(ch))) filtered.push_back(ch);
    }
    value = parse_decimal(filtered);
  } else {
    value = parse_decimal(full);
  }

  double v = value.value_or(0.0);
  auto invalid = [&](DiagnosticCode code) {
    return wrap(TokenKind::Number{v, NumberInfo{NumberInfo::Invalid{}}}, range, code);
  };
  if (!value || has_invalid_char) return invalid(DiagnosticCode::InvalidNumberLiteral);
  if (has_leading_underscore || has_trailing_underscore) return invalid(DiagnosticCode::InvalidNumberLiteralUnderscore);
  if (!std::isfinite(v)) return invalid(DiagnosticCode::OverflowNumberLiteral);
  return TokenKind::Number{v, NumberInfo{NumberInfo::Decimal{full}}};
}

}  // namespace vaxo_core::lexer::numeric

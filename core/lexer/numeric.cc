#include "core/lexer/numeric.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <new>
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

// The scanner's literals: the well-formed ones converted directly.

namespace {

// Stores a number into `out`, a kind the scanner has just made (it holds no
// payload): built in place, without the temporary kind of an assignment.
inline void put_number(TokenKind& out, double value, const NumberInfo& info) {
  out.~TokenKind();
  new (&out) TokenKind(TokenKind::Number{value, info});
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
    auto parsed = parse_decimal(text);
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
  if (!separated && !(count > 1 && data[start] == '0') && mantissa <= kI32Max) return false;  // an ordinal
  in.position = p;
  put_number(out, static_cast<double>(mantissa), NumberInfo{NumberInfo::Decimal{text}});
  return true;
}

}  // namespace

// At a digit. A short digit run that ends the literal (no name character
// after it, nor a `.` unless it is an ordinal after `.`) and reads as a valid
// ordinal is stored directly: the same result as the full readers.
void number_into(LexerInput& in, std::size_t start, bool dot, TokenKind& out) {
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  std::size_t p = start;
  std::uint64_t value = 0;
  while (p < size && p - start < 10 && data[p] >= '0' && data[p] <= '9') {
    value = value * 10 + static_cast<unsigned>(data[p] - '0');
    ++p;
  }
  const bool ends = ends_integer(data, p, size, dot);
  if (ends && !(p - start > 1 && data[start] == '0') && value <= kI32Max) {
    in.position = p;
    out.set_unowned(TokenKind::Ordinal{static_cast<std::int32_t>(value)});
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
  out = dot ? ordinal(in) : number(in);
}

}  // namespace vaxo_core::lexer::numeric

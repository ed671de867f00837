#include "testing/lex_dump.h"

#include <charconv>
#include <cmath>
#include <span>

#include "core/lexer/lexer.h"
#include "core/lexer/utf8.h"

namespace vaxo_core::lexer::testing {

namespace {

std::string range_str(ByteRange r) { return std::to_string(r.start) + ".." + std::to_string(r.end); }

std::string number_str(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  return std::string(buf, res.ptr);
}

std::string inline_tokens(std::span<const Token> tokens) {
  std::string out = "[";
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (i) out += ", ";
    out += range_str(tokens[i].range) + " " + dump_kind(tokens[i].kind);
  }
  return out + "]";
}

// Character boundaries mean something only in valid UTF-8.
bool valid_utf8(std::string_view text) {
  for (std::size_t p = 0; p < text.size();) {
    auto d = utf8::decode(text, p);
    if (d.ch == utf8::kReplacement && text.substr(p, 3) != "\xef\xbf\xbd") return false;
    p += d.len;
  }
  return true;
}

thread_local bool g_check_boundaries = true;

bool boundary(std::string_view text, std::size_t p) {
  if (p > text.size()) return false;
  if (!g_check_boundaries) return true;
  return p == text.size() || (static_cast<unsigned char>(text[p]) & 0xC0) != 0x80;
}

std::string check_list(std::string_view text, std::span<const Token> tokens, ByteRange within, int depth);

// A literal's info (read again from the text on first access) describes the
// literal `t` was read from and spells the same value or part texts.
std::string check_info(std::string_view text, const Token& t, const TokenKind& kind) {
  const StringInfo* info = nullptr;
  std::vector<std::string> spelled;
  if (const auto* s = kind.get_if<TokenKind::String>()) {
    info = s->info.get();
    spelled.emplace_back(s->value.view());
  } else if (const auto* is = kind.get_if<TokenKind::InterpolatedString>()) {
    info = is->info.get();
    for (const auto& part : is->parts) spelled.emplace_back(part.text.view());
  }
  if (info == nullptr) return {};
  const ByteRange expected_leading = info->quote ? ByteRange{t.range.start, t.range.start + info->ats + 1} : ByteRange{0, 0};
  if (info->leading_range != expected_leading) return "info opens elsewhere: " + range_str(info->leading_range);
  const bool ends_text = info->trailing_range == ByteRange{0, 0} || !info->quote;
  if ((ends_text ? text.size() : info->trailing_range.end) != t.range.end) {
    return "info closes elsewhere: " + range_str(info->trailing_range);
  }
  std::vector<std::string> read{std::string()};
  for (const auto& f : info->content) {
    if (const auto* lit = std::get_if<StringFragment::Literal>(&f.value)) {
      read.back() += lit->text;
    } else if (const auto* esc = std::get_if<StringFragment::EscapedChar>(&f.value)) {
      utf8::append(read.back(), esc->value);
    } else if (const auto* interp = std::get_if<StringFragment::Interpolation>(&f.value)) {
      if (!interp->tokens.empty()) return "info keeps interpolation tokens";
      read.emplace_back();
    }
  }
  if (read != spelled) return "info spells another text than its token";
  return {};
}

std::string check_token(std::string_view text, const Token& t, ByteRange within, int depth) {
  auto r = t.range;
  if (r.start > r.end) return "range runs backwards: " + range_str(r);
  if (r.end > text.size()) return "range past the text: " + range_str(r);
  if (!boundary(text, r.start) || !boundary(text, r.end)) return "range off a character boundary: " + range_str(r);
  if (r.start < within.start || r.end > within.end) return "range outside its parent: " + range_str(r);
  const TokenKind* k = &t.kind;
  while (auto* u = k->get_if<TokenKind::Unknown>()) {
    for (const auto& e : u->errors) {
      if (e.range.start > e.range.end || e.range.end > text.size()) return "bad diagnostic range " + range_str(e.range);
    }
    k = u->recovered.get();
  }
  if (auto err = check_info(text, t, *k); !err.empty()) return err;
  if (auto* is = k->get_if<TokenKind::InterpolatedString>()) {
    // The parts' runs cover the string's token list, in order, and nothing else.
    std::size_t next = 0;
    for (const auto& part : is->parts) {
      if (part.first != next) return "part run starts at " + std::to_string(part.first) + ", not " + std::to_string(next);
      next += part.count;
      auto err = check_list(text, is->tokens_of(part), r, depth + 1);
      if (!err.empty()) return err;
    }
    if (next != is->tokens.size()) return "tokens after the last part run: " + std::to_string(is->tokens.size() - next);
    if (!is->parts.empty() && is->parts.back().count != 0) return "the last part has tokens";
  }
  return {};
}

std::string check_list(std::string_view text, std::span<const Token> tokens, ByteRange within, int depth) {
  std::size_t prev_end = within.start;
  for (const auto& t : tokens) {
    auto err = check_token(text, t, within, depth);
    if (!err.empty()) return err;
    if (t.range.start < prev_end && !(t.range.start == t.range.end && t.range.start == prev_end)) {
      return "token starts before the previous one ends: " + range_str(t.range);
    }
    prev_end = t.range.end;
  }
  return {};
}

}  // namespace

std::string dump_kind(const TokenKind& kind) {
  using Tag = TokenKind::Tag;
  switch (kind.tag()) {
    case Tag::Eof:
      return "Eof";
    case Tag::Empty:
      return "Empty";
    case Tag::Identifier:
      return "Identifier(" + std::string(kind.get_if<TokenKind::Identifier>()->name) + ")";
    case Tag::Ordinal:
      return "Ordinal(" + std::to_string(kind.get_if<TokenKind::Ordinal>()->value) + ")";
    case Tag::Number: {
      const auto& n = *kind.get_if<TokenKind::Number>();
      const NumberInfo written = kind.number_info();
      std::string info;
      switch (written.value.index()) {
        case 0: info = "Invalid"; break;
        case 1: info = "Decimal \"" + std::string(std::get<1>(written.value).text) + "\""; break;
        case 2: info = "Hexadecimal " + std::to_string(std::get<2>(written.value).value); break;
        case 3: info = "Octal " + std::to_string(std::get<3>(written.value).value); break;
        default: info = "Binary " + std::to_string(std::get<4>(written.value).value); break;
      }
      return "Number(" + number_str(n.value) + ", " + info + ")";
    }
    case Tag::String:
      return "String(\"" + debug_escape(kind.get_if<TokenKind::String>()->value.view()) + "\")";
    case Tag::InterpolatedString: {
      std::string out = "Interpolated(";
      bool first = true;
      const auto* is = kind.get_if<TokenKind::InterpolatedString>();
      for (const auto& part : is->parts) {
        if (!first) out += " | ";
        first = false;
        out += "\"" + debug_escape(part.text.view()) + "\" " + inline_tokens(is->tokens_of(part));
        if (!part.format.empty()) out += " format \"" + debug_escape(part.format) + "\"";
      }
      return out + ")";
    }
    case Tag::Operator:
      return "Operator(" + std::string(text(kind.get_if<TokenKind::Operator>()->op)) + ")";
    case Tag::Keyword:
      return "Keyword(" + std::string(text(kind.get_if<TokenKind::Keyword>()->keyword)) + ")";
    case Tag::Unknown: {
      const auto& u = *kind.get_if<TokenKind::Unknown>();
      std::string out = "Unknown(" + (u.recovered ? dump_kind(*u.recovered) : std::string("?"));
      for (const auto& e : u.errors) out += "; " + std::string(diagnostic::name(e.error)) + " " + range_str(e.range);
      return out + ")";
    }
  }
  return "?";
}

std::string dump_tokens(const std::vector<Token>& tokens) {
  std::string out;
  for (const auto& t : tokens) out += range_str(t.range) + " " + dump_kind(t.kind) + "\n";
  return out;
}

std::string lex_dump(std::string_view text, bool template_mode) {
  config::Config config;
  auto in = to_input(text, config);
  auto tokens = template_mode ? lex_string(in) : lex(in);
  if (!tokens) return "FAILED";
  return dump_tokens(*tokens);
}

std::string check_invariants(std::string_view text, const std::vector<Token>& tokens, bool template_mode) {
  if (tokens.empty()) return "empty token list";
  const Token& last = tokens.back();
  if (!last.kind.is_eof()) return "list does not end with Eof";
  if (last.range.start != text.size() || last.range.end != text.size()) return "Eof not at the end of the text";
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i].kind.is_eof()) return "Eof before the end of the list";
  }
  if (template_mode) {
    if (tokens.size() != 2) return "template list is not [string, Eof]";
    const auto& s = tokens[0];
    if (!s.kind.is_string() && !s.kind.is_interpolated_string()) return "template token is no string";
    if (s.range.start != 0 || s.range.end != text.size()) return "template token does not cover the text";
  }
  g_check_boundaries = valid_utf8(text);
  return check_list(text, tokens, ByteRange{0, text.size()}, 0);
}

}  // namespace vaxo_core::lexer::testing

#include "core/lexer/trivia.h"

namespace vaxo_core::lexer::trivia {

namespace {

std::optional<Unit> line_comment_or_new_line(LexerInput& in) {
  auto cp = in.checkpoint();
  if (line_comment(in)) return Unit{};
  in.reset(cp);
  return new_line(in);
}

}  // namespace

bool may_start_trivia(const LexerInput& in) {
  const char* p = in.text.data() + in.position;
  const char* end = in.text.data() + in.text.size();
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  if (p >= end) return false;
  char c = *p;
  return c == '/' || c == '\n' || c == '\r';
}

bool skip_blanks_then_may_start_trivia(LexerInput& in) {
  const char* data = in.text.data();
  std::size_t p = in.position;
  const std::size_t size = in.text.size();
  while (p < size && (data[p] == ' ' || data[p] == '\t')) ++p;
  in.position = p;
  if (p >= size) return false;
  char c = data[p];
  return c == '/' || c == '\n' || c == '\r';
}

std::optional<Unit> line_comment(LexerInput& in) {
  space0(in);
  if (!literal("//")(in)) return std::nullopt;
  if (!till_line_ending(in)) return std::nullopt;
  line_ending(in);  // optional: the last line needs none
  return Unit{};
}

std::optional<Unit> block_comment(LexerInput& in) {
  space0(in);
  if (!literal("/*")(in)) return std::nullopt;
  auto at = in.rest().find("*/");
  if (at == std::string_view::npos) {
    in.position = in.text.size();
  } else {
    in.advance(at + 2);
  }
  return Unit{};
}

std::optional<Unit> new_line(LexerInput& in) {
  space0(in);
  if (!line_ending(in)) return std::nullopt;
  return Unit{};
}

std::optional<Unit> leading_trivia(LexerInput& in) {
  if (!may_start_trivia(in)) return Unit{};
  return repeat_void(kAny, alt(line_comment, block_comment, new_line))(in);
}

std::optional<Unit> tailing_trivia(LexerInput& in) {
  if (!may_start_trivia(in)) return Unit{};
  auto cp = in.checkpoint();
  if (repeat_void(kOneOrMore, block_comment)(in) && line_comment_or_new_line(in)) return Unit{};
  in.reset(cp);
  return repeat_void(between(0, 1), line_comment_or_new_line)(in);
}

}  // namespace vaxo_core::lexer::trivia

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

// The two runs below are the toolkit forms
//   leading  = repeat(0.., alt(line_comment, block_comment, new_line))
//   tailing  = alt((repeat(1.., block_comment), alt(line_comment, new_line)),
//                  repeat(0..=1, alt(line_comment, new_line)))
// written out by hand: every trivia parser begins with blanks and then one
// of "//", "/*", "\n" or "\r\n", so the next two bytes pick the only
// alternative that can succeed.

namespace {

enum class Next { LineComment, BlockComment, NewLine, None };

// Skips the blanks and names the only trivia that can start after them.
Next blanks_then_peek(LexerInput& in) {
  space0(in);
  int c = in.byte_at(0);
  if (c == '\n') return Next::NewLine;
  if (c == '\r') return in.byte_at(1) == '\n' ? Next::NewLine : Next::None;
  if (c == '/') {
    int d = in.byte_at(1);
    if (d == '/') return Next::LineComment;
    if (d == '*') return Next::BlockComment;
  }
  return Next::None;
}

}  // namespace

std::optional<Unit> leading_trivia(LexerInput& in) {
  if (!may_start_trivia(in)) return Unit{};
  for (;;) {
    const std::size_t cp = in.position;
    bool ok = false;
    switch (blanks_then_peek(in)) {
      case Next::NewLine:
        ok = line_ending(in).has_value();
        break;
      case Next::LineComment:
        in.reset(cp);
        ok = line_comment(in).has_value();
        break;
      case Next::BlockComment:
        in.reset(cp);
        ok = block_comment(in).has_value();
        break;
      case Next::None:
        break;
    }
    if (!ok) {
      in.reset(cp);
      return Unit{};
    }
  }
}

std::optional<Unit> tailing_trivia(LexerInput& in) {
  if (!may_start_trivia(in)) return Unit{};
  const std::size_t cp = in.position;
  // One or more block comments, then a line comment or a line ending.
  std::size_t blocks = 0;
  for (;;) {
    const std::size_t before = in.position;
    if (blanks_then_peek(in) != Next::BlockComment) {
      in.reset(before);
      break;
    }
    block_comment(in);
    ++blocks;
  }
  if (blocks > 0 && line_comment_or_new_line(in)) return Unit{};
  // Otherwise at most one line comment or line ending.
  in.reset(cp);
  if (!line_comment_or_new_line(in)) in.reset(cp);
  return Unit{};
}

void skip_trivia(LexerInput& in) {
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  for (;;) {
    // Blanks are behind us; a failed item leaves the position after them,
    // where the token scanner would skip to anyway.
    const std::size_t p = in.position;
    if (p >= size) return;
    const char c = data[p];
    const char d = p + 1 < size ? data[p + 1] : '\0';
    if (c == '\n') {
      in.position = p + 1;
    } else if (c == '\r' && d == '\n') {
      in.position = p + 2;
    } else if (c == '/' && d == '/') {
      in.position = p + 2;
      const std::size_t stop = in.next_line_stop();
      if (stop < size && data[stop] == '\r' && (stop + 1 >= size || data[stop + 1] != '\n')) {
        in.position = p;  // no comment: the line is stopped by a lone CR
        return;
      }
      in.position = stop;
      line_ending(in);
    } else if (c == '/' && d == '*') {
      auto at = in.text.find("*/", p + 2);
      in.position = at == std::string_view::npos ? size : at + 2;
    } else {
      return;
    }
    std::size_t q = in.position;
    while (q < size && (data[q] == ' ' || data[q] == '\t')) ++q;
    in.position = q;
  }
}

}  // namespace vaxo_core::lexer::trivia

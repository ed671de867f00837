// The two inputs of the combinator toolkit (combinator.h).
//
// LexerInput reads the source text character by character; ParserInput reads a
// frozen token list token by token. Both borrow what they read and change only
// their position while parsing, so a checkpoint (one number) restores them
// completely. Positions of both are byte offsets into the source text.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/byte_scan.h"
#include "core/config/config.h"
#include "core/base/nesting_budget.h"
#include "core/lexer/token.h"
#include "core/lexer/utf8.h"

namespace vaxo_core::lexer {

// Lists the nested token loops and the string literals of one lexer run
// read into, one per nesting depth: each interpolation and each string's
// parts then allocate only their exact list.
// Boxed so that a deeper level never moves a shallower one's list, and
// empty until a string asks: most runs never do.
struct LexerScratch {
  std::vector<std::unique_ptr<std::vector<Token>>> tokens;
  std::vector<std::unique_ptr<std::vector<InterpolatedPart>>> parts;
};

struct LexerInput {
  using Element = char32_t;
  using Slice = std::string_view;
  using Checkpoint = std::size_t;

  std::string_view text;     // the whole source; never changes
  std::size_t position = 0;  // always on a character boundary
  const config::Config* config = nullptr;
  // Bounds the interpolation nesting of one lexer run; set by the entry points.
  NestingBudget* nesting = nullptr;
  // Scratch room of one run, reused at each nesting depth. Set by the entry
  // points; null reads into fresh lists.
  LexerScratch* scratch = nullptr;
  // A cache of the text, not of the position (checkpoints ignore it): the
  // first CR or LF at or after `line_stop_from` is at `line_stop_at` (the
  // text's length when there is none). It keeps a run of failed `//`
  // comments on one line linear.
  std::size_t line_stop_from = static_cast<std::size_t>(-1);
  std::size_t line_stop_at = 0;

  // The offset of the first CR or LF at or after the position, or the length.
  std::size_t next_line_stop() {
    if (line_stop_from <= position && position <= line_stop_at) return line_stop_at;
    // Not find_first_of, which runs memchr over the set for every byte.
    namespace scan = base::byte_scan;
    line_stop_at = scan::find(text.data(), position, text.size(), scan::any_of('\n', '\r'));
    line_stop_from = position;
    return line_stop_at;
  }

  Checkpoint checkpoint() const { return position; }
  void reset(Checkpoint cp) { position = cp; }
  std::size_t remaining() const { return text.size() - position; }
  bool at_end() const { return position >= text.size(); }
  std::size_t current_token_start() const { return position; }
  std::size_t previous_token_end() const { return position; }

  // The next element without consuming it; precondition: !at_end().
  utf8::Decoded peek() const { return utf8::decode(text, position); }
  void advance(std::size_t bytes) { position += bytes; }
  std::string_view rest() const { return text.substr(position); }
  // The byte `offset` bytes ahead, or -1 past the end.
  int byte_at(std::size_t offset) const {
    std::size_t p = position + offset;
    return p < text.size() ? static_cast<unsigned char>(text[p]) : -1;
  }
  bool starts_with(std::string_view s) const { return rest().starts_with(s); }
  Slice slice(Checkpoint from) const { return text.substr(from, position - from); }

  std::string dump() const {
    return "LexerInput { position: " + std::to_string(position) + ", length: " + std::to_string(text.size()) + " }";
  }
};

// A borrowed, frozen token list and the count of tokens consumed. The list
// must not change (nor move) while any input, slice or reference into it lives.
struct ParserInput {
  using Element = const Token*;
  using Slice = std::span<const Token>;
  using Checkpoint = std::size_t;

  std::span<const Token> tokens;
  std::size_t index = 0;

  ParserInput() = default;
  explicit ParserInput(std::span<const Token> tokens, std::size_t index = 0) : tokens(tokens), index(index) {}
  explicit ParserInput(const std::vector<Token>& tokens) : tokens(tokens) {}

  Checkpoint checkpoint() const { return index; }
  void reset(Checkpoint cp) { index = cp; }
  std::size_t remaining() const { return tokens.size() - index; }
  bool at_end() const { return index >= tokens.size(); }

  // The end of the last token consumed; else the start of the first token;
  // else 0. Inserted tokens and placeholders go here.
  std::size_t previous_token_end() const {
    if (index > 0) return tokens[index - 1].range.end;
    if (!tokens.empty()) return tokens[0].range.start;
    return 0;
  }
  // The start of the next token; previous_token_end() when none remains.
  std::size_t current_token_start() const {
    if (index < tokens.size()) return tokens[index].range.start;
    return previous_token_end();
  }

  // The next token without consuming it, or nullptr at the end.
  const Token* peek_token() const { return index < tokens.size() ? &tokens[index] : nullptr; }
  Slice slice(Checkpoint from) const { return tokens.subspan(from, index - from); }

  std::string dump() const {
    return "ParserInput { index: " + std::to_string(index) + ", tokens: " + std::to_string(tokens.size()) + " }";
  }
};

}  // namespace vaxo_core::lexer

#include "core/lexer/lexer.h"

#include <algorithm>
#include <optional>

#include "core/lexer/string.h"

namespace vaxo_core::lexer {

namespace {

// A script's list gets room for 2/7 of its bytes in tokens, but at most for
// a sample: when the sample fills, the list grows once, by the density read
// (scanner::grow_script_list).
constexpr std::size_t kSampleTokens = 16384;
std::size_t token_estimate(const LexerInput& in) { return std::min(in.remaining() * 2 / 7 + 16, kSampleTokens); }

}  // namespace

LexerInput to_input(std::string_view text, const config::Config& config) {
  LexerInput in;
  in.text = text;
  in.position = 0;
  in.config = &config;
  return in;
}

namespace {

std::optional<std::vector<Token>> lex_script(LexerInput& input) {
  std::vector<Token> tokens;
  tokens.reserve(token_estimate(input));
  if (!scanner::scan_tokens(input, tokens)) return std::nullopt;
  return tokens;
}

}  // namespace

struct TokenListAccess {
  static scanner::KeptTokens& tokens(TokenList& list) { return list.tokens_; }
  static std::vector<std::size_t>& owners(TokenList& list) { return list.owners_; }
};

namespace {

std::optional<TokenList> lex_script_list(LexerInput& input) {
  TokenList list;
  auto& tokens = TokenListAccess::tokens(list);
  tokens.reserve(token_estimate(input));
  if (!scanner::scan_tokens(input, tokens, TokenListAccess::owners(list))) return std::nullopt;
  return list;
}

}  // namespace

namespace {

// Runs `lex_run` with a nesting budget and scratch lists, unless the input
// carries its own.
template <typename Run>
auto with_run_state(LexerInput& input, Run&& lex_run) {
  std::optional<NestingBudget> budget;
  LexerScratch scratch;
  const bool own_budget = input.nesting == nullptr;
  const bool own_scratch = input.scratch == nullptr;
  if (own_budget) input.nesting = &budget.emplace(kMaxInterpolationDepth);
  if (own_scratch) input.scratch = &scratch;
  auto result = lex_run(input);
  if (own_budget) input.nesting = nullptr;
  if (own_scratch) input.scratch = nullptr;
  return result;
}

}  // namespace

std::optional<std::vector<Token>> lex(LexerInput& input) { return with_run_state(input, lex_script); }

std::optional<TokenList> lex_list(LexerInput& input) { return with_run_state(input, lex_script_list); }

namespace {

// [the template's token, Eof] into `tokens`; false where lex_string fails.
// `noted` is called once the first token is in, before it can be lost.
template <typename List, typename Noted>
bool lex_template_into(LexerInput& input, List& tokens, Noted&& noted) {
  const std::size_t start = input.position;
  auto kind = string::template_string(input);
  if (!kind) return false;
  tokens.reserve(2);
  tokens.push_back(Token::make(std::move(*kind), ByteRange{start, input.position}));
  noted();
  auto eof = scanner::token(input, &tokens.back());
  if (!eof || !eof->kind.is_eof()) return false;
  tokens.push_back(std::move(*eof));
  return true;
}

std::optional<std::vector<Token>> lex_template(LexerInput& input) {
  std::vector<Token> tokens;
  if (!lex_template_into(input, tokens, [] {})) return std::nullopt;
  return tokens;
}

std::optional<TokenList> lex_template_list(LexerInput& input) {
  TokenList list;
  auto& owners = TokenListAccess::owners(list);
  owners.reserve(1);
  // The first token is the only one that can own anything.
  if (!lex_template_into(input, TokenListAccess::tokens(list), [&owners] { owners.push_back(0); })) {
    return std::nullopt;
  }
  return list;
}

}  // namespace

std::optional<std::vector<Token>> lex_string(LexerInput& input) { return with_run_state(input, lex_template); }

std::optional<TokenList> lex_string_list(LexerInput& input) { return with_run_state(input, lex_template_list); }

}  // namespace vaxo_core::lexer

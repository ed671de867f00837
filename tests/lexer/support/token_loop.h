// Test support: the one-token reader run as a token loop.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "core/lexer/combinator.h"
#include "core/lexer/input.h"
#include "core/lexer/lexer.h"
#include "core/lexer/scanner.h"
#include "core/lexer/token.h"
#include "core/lexer/trivia.h"

namespace vaxo_core::lexer::testing {

// The tokens of `src` read one at a time by the one-token reader after the
// trivia, each handed the two before it, up to and with `Eof`; nullopt when
// it fails.
inline std::optional<std::vector<Token>> read_one_by_one(std::string_view src) {
  config::Config config;
  auto in = to_input(src, config);
  NestingBudget budget(kMaxInterpolationDepth);
  LexerScratch scratch;
  in.nesting = &budget;
  in.scratch = &scratch;
  std::vector<Token> list;
  for (;;) {
    space0(in);
    trivia::skip_trivia(in);
    auto token = scanner::token(in, list.empty() ? nullptr : &list.back(),
                                list.size() < 2 ? nullptr : &list[list.size() - 2]);
    if (!token) return std::nullopt;
    list.push_back(std::move(*token));
    if (list.back().kind.is_eof()) return list;
  }
}

}  // namespace vaxo_core::lexer::testing

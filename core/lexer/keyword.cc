#include "core/lexer/keyword.h"

namespace vaxo_core::lexer {

std::optional<Keyword> keyword_from_str(std::string_view s) {
  if (s.empty() || s.size() > keyword_detail::kMaxKeywordLength) return std::nullopt;
  // Every keyword fits in one word.
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < s.size(); ++i) word |= static_cast<std::uint64_t>(static_cast<unsigned char>(s[i])) << (8 * i);
  using namespace keyword_detail;
  const std::size_t slot = hash_slot(word);
  if (kHashTable.words[slot] != word || kHashTable.sizes[slot] != s.size()) return std::nullopt;
  return static_cast<Keyword>(kHashTable.keywords[slot]);
}

}  // namespace vaxo_core::lexer

#include "core/lexer/keyword.h"

#include "core/lexer/operator.h"


namespace vaxo_core::lexer {

namespace {

template <typename Entry, std::size_t N>
std::optional<bool> lookup_property(const Entry (&names)[N], std::uint16_t props, std::string_view name) {
  for (const auto& entry : names) {
    if (entry.name == name) {
      if (props & entry.bit) return true;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

struct PropertyName {
  std::string_view name;
  std::uint16_t bit;
};

constexpr PropertyName kKeywordProperties[] = {
    {"constant", keyword_detail::kConstant},
    {"numeric", keyword_detail::kNumeric},
    {"control", keyword_detail::kControl},
    {"reserved", keyword_detail::kReserved},
};

constexpr PropertyName kOperatorProperties[] = {
    {"arithmetic", operator_detail::kArithmetic}, {"logical", operator_detail::kLogical},
    {"null_coalescing", operator_detail::kNullCoalescing}, {"equality", operator_detail::kEquality},
    {"comparison", operator_detail::kComparison}, {"infix", operator_detail::kInfix},
    {"prefix", operator_detail::kPrefix}, {"postfix", operator_detail::kPostfix},
    {"compound", operator_detail::kCompound},
};

}  // namespace

std::optional<Keyword> keyword_from_str(std::string_view s) {
  if (s.empty() || s.size() > keyword_detail::kMaxKeywordLength) return std::nullopt;
  // Compare as one 64-bit word: every keyword fits in eight bytes.
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < s.size(); ++i) word |= static_cast<std::uint64_t>(static_cast<unsigned char>(s[i])) << (8 * i);
  return keyword_from_word(word, s.size());
}

std::optional<bool> get_bool(Keyword k, std::string_view name) {
  return lookup_property(kKeywordProperties, keyword_detail::kKeywords[static_cast<std::size_t>(k)].properties,
                         name);
}

std::optional<bool> get_bool(Operator op, std::string_view name) {
  return lookup_property(kOperatorProperties, operator_detail::props(op), name);
}

}  // namespace vaxo_core::lexer

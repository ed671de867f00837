#include "core/lexer/keyword.h"

#include "core/lexer/operator.h"

namespace vaxo_core::lexer {

namespace {

// Keywords grouped by first byte, so a lookup compares against at most a few.
struct FirstByteIndex {
  std::array<std::uint8_t, kKeywordCount> order{};
  std::array<std::uint8_t, 257> begin{};
};

constexpr FirstByteIndex make_index() {
  FirstByteIndex idx;
  std::size_t n = 0;
  for (std::size_t c = 0; c < 256; ++c) {
    idx.begin[c] = static_cast<std::uint8_t>(n);
    for (std::size_t k = 0; k < kKeywordCount; ++k) {
      if (static_cast<unsigned char>(keyword_detail::kKeywords[k].text[0]) == c) {
        idx.order[n++] = static_cast<std::uint8_t>(k);
      }
    }
  }
  idx.begin[256] = static_cast<std::uint8_t>(n);
  return idx;
}

constexpr FirstByteIndex kIndex = make_index();

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
  if (s.empty() || s.size() > 8) return std::nullopt;
  auto c = static_cast<unsigned char>(s[0]);
  for (std::size_t i = kIndex.begin[c]; i < kIndex.begin[c + 1]; ++i) {
    const auto& info = keyword_detail::kKeywords[kIndex.order[i]];
    if (info.text == s) return info.keyword;
  }
  return std::nullopt;
}

std::optional<bool> get_bool(Keyword k, std::string_view name) {
  return lookup_property(kKeywordProperties, keyword_detail::kKeywords[static_cast<std::size_t>(k)].properties,
                         name);
}

std::optional<bool> get_bool(Operator op, std::string_view name) {
  return lookup_property(kOperatorProperties, operator_detail::props(op), name);
}

}  // namespace vaxo_core::lexer

#include "core/lexer/keyword.h"

#include "core/lexer/operator.h"

#include <bit>

namespace vaxo_core::lexer {

namespace {

// Keywords by (first letter, length): at most three text comparisons per lookup.
constexpr std::size_t kMaxKeywordLength = 8;
using KeywordSlots = std::array<std::array<std::array<std::uint8_t, 3>, kMaxKeywordLength + 1>, 27>;

constexpr std::size_t slot_of(unsigned char first) { return first == '_' ? 26 : first - 'a'; }

constexpr KeywordSlots make_slots() {
  KeywordSlots slots{};
  for (std::size_t k = 0; k < kKeywordCount; ++k) {
    auto t = keyword_detail::kKeywords[k].text;
    auto& slot = slots[slot_of(static_cast<unsigned char>(t[0]))][t.size()];
    slot[slot[0] == 0 ? 0 : slot[1] == 0 ? 1 : 2] = static_cast<std::uint8_t>(k + 1);
  }
  return slots;
}

constexpr KeywordSlots kSlots = make_slots();

// Each keyword's text as a little-endian word padded with zero bytes.
constexpr std::array<std::uint64_t, kKeywordCount> make_packed() {
  std::array<std::uint64_t, kKeywordCount> packed{};
  for (std::size_t k = 0; k < kKeywordCount; ++k) {
    auto t = keyword_detail::kKeywords[k].text;
    std::uint64_t w = 0;
    for (std::size_t i = 0; i < t.size(); ++i) w |= static_cast<std::uint64_t>(static_cast<unsigned char>(t[i])) << (8 * i);
    packed[k] = w;
  }
  return packed;
}
constexpr std::array<std::uint64_t, kKeywordCount> kPacked = make_packed();
static_assert(std::endian::native == std::endian::little);

// No four keywords share a first letter and a length.
constexpr bool slots_are_unique() {
  std::size_t filled = 0;
  for (const auto& row : kSlots) {
    for (const auto& slot : row) filled += (slot[0] != 0) + (slot[1] != 0) + (slot[2] != 0);
  }
  return filled == kKeywordCount;
}
static_assert(slots_are_unique());

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

std::optional<Keyword> keyword_from_word(std::uint64_t word, std::size_t size) {
  if (size == 0 || size > kMaxKeywordLength) return std::nullopt;
  auto c = static_cast<unsigned char>(word);
  if (!((c >= 'a' && c <= 'z') || c == '_')) return std::nullopt;
  for (std::uint8_t k : kSlots[slot_of(c)][size]) {
    if (k == 0) break;
    if (kPacked[k - 1] == word) return keyword_detail::kKeywords[k - 1].keyword;
  }
  return std::nullopt;
}

std::optional<Keyword> keyword_from_str(std::string_view s) {
  if (s.empty() || s.size() > kMaxKeywordLength) return std::nullopt;
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

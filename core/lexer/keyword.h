// Keyword: the closed one-byte vocabulary of the language's keywords, with
// their texts and properties. Single source: keyword.def.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

namespace vaxo_core::lexer {

enum class Keyword : std::uint8_t {
#define X(variant, text, props) variant,
#include "core/lexer/keyword.def"
#undef X
};

namespace keyword_detail {
enum KeywordProperty : std::uint8_t {
  kConstant = 1 << 0,
  kNumeric = 1 << 1,
  kControl = 1 << 2,
  kReserved = 1 << 3,
};
struct KeywordInfo {
  Keyword keyword;
  std::string_view text;
  std::uint8_t properties;
};
inline constexpr KeywordInfo kKeywords[] = {
#define X(variant, text, props) {Keyword::variant, text, props},
#include "core/lexer/keyword.def"
#undef X
};
}  // namespace keyword_detail

inline constexpr std::size_t kKeywordCount = std::size(keyword_detail::kKeywords);
static_assert(kKeywordCount == 38);

constexpr std::string_view text(Keyword k) {
  return keyword_detail::kKeywords[static_cast<std::size_t>(k)].text;
}

namespace keyword_detail {

// Keywords by (first letter, length): at most three text comparisons per lookup.
inline constexpr std::size_t kMaxKeywordLength = 8;
using KeywordSlots = std::array<std::array<std::array<std::uint8_t, 3>, kMaxKeywordLength + 1>, 27>;

constexpr std::size_t slot_of(unsigned char first) { return first == '_' ? 26 : first - 'a'; }

constexpr KeywordSlots make_slots() {
  KeywordSlots slots{};
  for (std::size_t k = 0; k < kKeywordCount; ++k) {
    auto t = kKeywords[k].text;
    auto& slot = slots[slot_of(static_cast<unsigned char>(t[0]))][t.size()];
    slot[slot[0] == 0 ? 0 : slot[1] == 0 ? 1 : 2] = static_cast<std::uint8_t>(k + 1);
  }
  return slots;
}

inline constexpr KeywordSlots kSlots = make_slots();

// Each keyword's text as a little-endian word padded with zero bytes.
constexpr std::array<std::uint64_t, kKeywordCount> make_packed() {
  std::array<std::uint64_t, kKeywordCount> packed{};
  for (std::size_t k = 0; k < kKeywordCount; ++k) {
    auto t = kKeywords[k].text;
    std::uint64_t w = 0;
    for (std::size_t i = 0; i < t.size(); ++i) w |= static_cast<std::uint64_t>(static_cast<unsigned char>(t[i])) << (8 * i);
    packed[k] = w;
  }
  return packed;
}
inline constexpr std::array<std::uint64_t, kKeywordCount> kPacked = make_packed();
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

}  // namespace keyword_detail

// The keyword spelled exactly `s` (byte for byte, case-sensitive), if any.
// Runs once per scanned name, so it never allocates.
std::optional<Keyword> keyword_from_str(std::string_view s);
// The same for the `size` bytes held by `word` (little-endian, the bytes
// past `size` zero): a scanner that can load eight bytes at once skips
// assembling the word. Inline: it runs once per scanned name.
inline std::optional<Keyword> keyword_from_word(std::uint64_t word, std::size_t size) {
  using namespace keyword_detail;
  if (size == 0 || size > kMaxKeywordLength) return std::nullopt;
  auto c = static_cast<unsigned char>(word);
  if (!((c >= 'a' && c <= 'z') || c == '_')) return std::nullopt;
  for (std::uint8_t k : kSlots[slot_of(c)][size]) {
    if (k == 0) break;
    if (kPacked[k - 1] == word) return kKeywords[k - 1].keyword;
  }
  return std::nullopt;
}

// True when `k` has the property named `name`, absent otherwise (never false),
// also for a name that is no property: "constant", "numeric", "control",
// "reserved".
std::optional<bool> get_bool(Keyword k, std::string_view name);

constexpr bool is_constant(Keyword k) {
  return keyword_detail::kKeywords[static_cast<std::size_t>(k)].properties & keyword_detail::kConstant;
}
constexpr bool is_numeric(Keyword k) {
  return keyword_detail::kKeywords[static_cast<std::size_t>(k)].properties & keyword_detail::kNumeric;
}
constexpr bool is_control(Keyword k) {
  return keyword_detail::kKeywords[static_cast<std::size_t>(k)].properties & keyword_detail::kControl;
}
constexpr bool is_reserved(Keyword k) {
  return keyword_detail::kKeywords[static_cast<std::size_t>(k)].properties & keyword_detail::kReserved;
}

inline std::ostream& operator<<(std::ostream& os, Keyword k) { return os << text(k); }

}  // namespace vaxo_core::lexer

// Keyword: the closed one-byte vocabulary of the language's keywords, with
// their texts and properties. Single source: keyword.def.
#pragma once

#include <array>
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

// The keyword spelled exactly `s` (byte for byte, case-sensitive), if any.
// Runs once per scanned name, so it never allocates.
std::optional<Keyword> keyword_from_str(std::string_view s);
// The same for the `size` bytes held by `word` (little-endian, the bytes
// past `size` zero): a scanner that can load eight bytes at once skips
// assembling the word.
std::optional<Keyword> keyword_from_word(std::uint64_t word, std::size_t size);

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

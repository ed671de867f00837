// Keyword: the closed one-byte vocabulary of the language's keywords, with
// their texts, properties (the classes the parser dispatches on) and binding
// powers. Single source: keyword.def.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

#include "core/lexer/property.h"

namespace vaxo_core::lexer {

enum class Keyword : std::uint8_t {
#define X(variant, text, props, power) variant,
#include "core/lexer/keyword.def"
#undef X
};

namespace keyword_detail {
enum KeywordProperty : std::uint16_t {
  kConstant = 1 << 0,          // a literal: one token, an operand and a pattern
  kNumeric = 1 << 1,
  kControl = 1 << 2,
  kReserved = 1 << 3,          // no rule yet: read as a name, with a diagnostic
  kOperand = 1 << 4,           // begins an operand that is no literal
  kPrefix = 1 << 5,            // a prefix operator
  kBlockLike = 1 << 6,         // begins a block-like form (also an operand, and ends an expression)
  kStatement = 1 << 7,         // begins a statement of its own
  kStopsExpression = 1 << 8,   // ends an expression (with the kBlockLike ones)
};
struct KeywordInfo {
  Keyword keyword;
  std::string_view text;
  std::uint16_t properties;
  std::uint8_t power;
};
inline constexpr KeywordInfo kKeywords[] = {
#define X(variant, text, props, power) {Keyword::variant, text, props, power},
#include "core/lexer/keyword.def"
#undef X
};
inline constexpr PropertyName kPropertyNames[] = {
    {"constant", kConstant},
    {"numeric", kNumeric},
    {"control", kControl},
    {"reserved", kReserved},
};
}  // namespace keyword_detail

inline constexpr std::size_t kKeywordCount = std::size(keyword_detail::kKeywords);
static_assert(kKeywordCount <= 128, "a Keyword is one byte and a slot of the perfect hash");

constexpr std::string_view text(Keyword k) {
  return keyword_detail::kKeywords[static_cast<std::size_t>(k)].text;
}

namespace keyword_detail {

inline constexpr std::size_t kMaxKeywordLength = 8;

// Each keyword's text as a little-endian word padded with zero bytes.
constexpr std::uint64_t pack(std::string_view t) {
  std::uint64_t w = 0;
  for (std::size_t i = 0; i < t.size(); ++i) w |= static_cast<std::uint64_t>(static_cast<unsigned char>(t[i])) << (8 * i);
  return w;
}
static_assert(std::endian::native == std::endian::little);

// A perfect hash of the packed words: the top 7 bits of word * kHashFactor
// are distinct for the keywords. A slot holds its keyword's word and length
// (a text may hold zero bytes, so the word alone does not tell the length).
inline constexpr std::uint64_t kHashFactor = 0x9d1d9b8f5edadca9;
inline constexpr unsigned kHashShift = 57;
constexpr std::size_t hash_slot(std::uint64_t word) { return static_cast<std::size_t>((word * kHashFactor) >> kHashShift); }

struct HashTable {
  std::array<std::uint64_t, 128> words{};
  std::array<std::uint8_t, 128> keywords{};
  std::array<std::uint8_t, 128> sizes{};  // 0 for an empty slot
};
constexpr HashTable make_hash_table() {
  HashTable t;
  for (std::size_t k = 0; k < kKeywordCount; ++k) {
    const std::size_t slot = hash_slot(pack(kKeywords[k].text));
    t.words[slot] = pack(kKeywords[k].text);
    t.keywords[slot] = static_cast<std::uint8_t>(k);
    t.sizes[slot] = static_cast<std::uint8_t>(kKeywords[k].text.size());
  }
  return t;
}
inline constexpr HashTable kHashTable = make_hash_table();

constexpr bool hash_is_perfect() {
  for (std::size_t k = 0; k < kKeywordCount; ++k) {
    const std::uint64_t w = pack(kKeywords[k].text);
    if (kKeywords[k].text.size() > kMaxKeywordLength || kHashTable.words[hash_slot(w)] != w) return false;
  }
  return true;
}
static_assert(hash_is_perfect());

}  // namespace keyword_detail

// The keyword spelled exactly `s` (byte for byte, case-sensitive), if any;
// allocates nothing.
std::optional<Keyword> keyword_from_str(std::string_view s);

// True when `k` has the property named `name`, absent otherwise (never false),
// also for a name that is no property: "constant", "numeric", "control",
// "reserved".
constexpr std::optional<bool> get_bool(Keyword k, std::string_view name) {
  return property_answer(keyword_detail::kKeywords[static_cast<std::size_t>(k)].properties,
                         property_bit(keyword_detail::kPropertyNames, name));
}

constexpr bool has(Keyword k, std::uint16_t bit) {
  return keyword_detail::kKeywords[static_cast<std::size_t>(k)].properties & bit;
}
namespace keyword_detail {
// get_bool of `name`, absent read as false.
consteval std::uint16_t bit(std::string_view name) { return known_property_bit(kPropertyNames, name); }
}  // namespace keyword_detail
constexpr bool is_constant(Keyword k) { return has(k, keyword_detail::bit("constant")); }
constexpr bool is_reserved(Keyword k) { return has(k, keyword_detail::bit("reserved")); }
constexpr bool is_prefix(Keyword k) { return has(k, keyword_detail::kPrefix); }
constexpr bool starts_block_like(Keyword k) { return has(k, keyword_detail::kBlockLike); }
constexpr bool starts_statement(Keyword k) { return has(k, keyword_detail::kStatement); }
constexpr bool stops_expression(Keyword k) { return has(k, keyword_detail::kBlockLike) || has(k, keyword_detail::kStopsExpression); }
// A literal operand is kConstant; the other operands begin at these.
constexpr bool starts_other_operand(Keyword k) {
  return has(k, keyword_detail::kOperand) || has(k, keyword_detail::kBlockLike) || has(k, keyword_detail::kReserved);
}
// The binding power in the operator loop (left-associative); 0 for none.
constexpr std::uint8_t binding_power(Keyword k) { return keyword_detail::kKeywords[static_cast<std::size_t>(k)].power; }

inline std::ostream& operator<<(std::ostream& os, Keyword k) { return os << text(k); }

}  // namespace vaxo_core::lexer

// Property names of the vocabulary tables: each names one bit of a row's
// property set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vaxo_core::lexer {

struct PropertyName {
  std::string_view name;
  std::uint16_t bit;
};

// The bit of the property called `name` among `names`; 0 for a name that is
// none of them.
template <std::size_t N>
constexpr std::uint16_t property_bit(const PropertyName (&names)[N], std::string_view name) {
  for (const PropertyName& p : names) {
    if (p.name == name) return p.bit;
  }
  return 0;
}

// The same for a name the program spells out, looked up as it is compiled;
// a name that is none of them does not compile.
template <std::size_t N>
consteval std::uint16_t known_property_bit(const PropertyName (&names)[N], std::string_view name) {
  const std::uint16_t bit = property_bit(names, name);
  if (bit == 0) throw "no property of that name";
  return bit;
}

// True when `properties` holds `bit`, absent otherwise (never false).
constexpr std::optional<bool> property_answer(std::uint16_t properties, std::uint16_t bit) {
  return (properties & bit) != 0 ? std::optional<bool>(true) : std::nullopt;
}

}  // namespace vaxo_core::lexer

// Byte scans over a text: where the first byte of a set lies, which of
// sixteen bytes belong to it, how often one byte occurs. Sixteen bytes are
// tested at once where the target has SSE2 (every x86-64 does), one at a time
// elsewhere, with the same results.
//
// A set is a small value with `contains(unsigned char)` and, under SSE2,
// `lanes(__m128i)`: 0xFF in each lane whose byte it contains.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vaxo_core::base::byte_scan {

// The bytes equal to one of N given bytes.
template <std::size_t N>
struct AnyOf {
  std::array<char, N> bytes;

  constexpr bool contains(unsigned char c) const {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return ((c == static_cast<unsigned char>(bytes[I])) || ...);
    }(std::make_index_sequence<N>());
  }
#if defined(__SSE2__)
  __m128i lanes(__m128i x) const {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      __m128i hit = _mm_setzero_si128();
      ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_set1_epi8(bytes[I])))), ...);
      return hit;
    }(std::make_index_sequence<N>());
  }
#endif
};

template <typename... C>
constexpr AnyOf<sizeof...(C)> any_of(C... bytes) {
  return AnyOf<sizeof...(C)>{{static_cast<char>(bytes)...}};
}

// ASCII letters, digits and `_`.
struct AsciiWord {
  static constexpr bool contains(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  }
#if defined(__SSE2__)
  static __m128i lanes(__m128i x) {
    // A range test is one signed compare once the range is moved to the
    // bottom of the signed bytes; the move wraps, so no other byte lands
    // there. Setting bit 5 folds the capitals onto the small letters.
    const __m128i lower = _mm_or_si128(x, _mm_set1_epi8(0x20));
    const __m128i letter = _mm_cmplt_epi8(_mm_add_epi8(lower, _mm_set1_epi8(static_cast<char>(0x80 - 'a'))),
                                          _mm_set1_epi8(static_cast<char>(0x80 + 26)));
    const __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(x, _mm_set1_epi8(static_cast<char>(0x80 - '0'))),
                                         _mm_set1_epi8(static_cast<char>(0x80 + 10)));
    const __m128i under = _mm_cmpeq_epi8(x, _mm_set1_epi8('_'));
    return _mm_or_si128(_mm_or_si128(letter, digit), under);
  }
#endif
};

// Bit i set where at[i] belongs to `set`, for the sixteen bytes at `at`.
template <typename Set>
inline unsigned mask16(const char* at, const Set& set) {
#if defined(__SSE2__)
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  return static_cast<unsigned>(_mm_movemask_epi8(set.lanes(x)));
#else
  unsigned mask = 0;
  for (unsigned i = 0; i < 16; ++i) mask |= static_cast<unsigned>(set.contains(static_cast<unsigned char>(at[i]))) << i;
  return mask;
#endif
}

// The first position in [from, to) whose byte belongs to `set`, or `to`.
template <typename Set>
inline std::size_t find(const char* data, std::size_t from, std::size_t to, const Set& set) {
  std::size_t p = from;
#if defined(__SSE2__)
  for (; p + 16 <= to; p += 16) {
    const unsigned mask = mask16(data + p, set);
    if (mask != 0) return p + static_cast<std::size_t>(std::countr_zero(mask));
  }
#endif
  while (p < to && !set.contains(static_cast<unsigned char>(data[p]))) ++p;
  return p;
}

// How many bytes of [from, to) equal `byte`.
inline std::size_t count(const char* data, std::size_t from, std::size_t to, char byte) {
  std::size_t p = from, n = 0;
#if defined(__SSE2__)
  // Each lane counts its matches down from zero for up to 255 steps; one sum
  // of absolute differences then adds the lanes up.
  const __m128i b = _mm_set1_epi8(byte);
  while (to - p >= 16) {
    const std::size_t steps = std::min<std::size_t>((to - p) / 16, 255);
    __m128i lanes = _mm_setzero_si128();
    for (std::size_t k = 0; k < steps; ++k, p += 16) {
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p)), b));
    }
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    n += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
         static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
#endif
  for (; p < to; ++p) n += static_cast<std::size_t>(data[p] == byte);
  return n;
}

}  // namespace vaxo_core::base::byte_scan

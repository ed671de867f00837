// Hashes and byte comparisons for the emitter's open-addressing tables
// (constant pool, names). Only the high half of a text's hash is well mixed:
// the tables index and tag by it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vaxo_core::emitter {

// Unaligned loads of a text's bytes.
inline std::uint64_t word64(const char* at) {
  std::uint64_t w;
  std::memcpy(&w, at, 8);
  return w;
}
inline std::uint64_t word32(const char* at) {
  std::uint32_t w;
  std::memcpy(&w, at, 4);
  return w;
}

inline std::uint64_t hash_text(std::string_view text) {
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ULL;
  const char* p = text.data();
  std::size_t n = text.size();
  std::uint64_t h = static_cast<std::uint64_t>(n);
  if (n <= 8) [[likely]] {
    // The same value as the general tail below.
    if (n >= 4) return (h ^ (word32(p) | (word32(p + n - 4) << 32))) * kMul;
    if (n == 0) return 0;
    std::uint64_t short_tail = static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) |
                               (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8) |
                               (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16);
    return (h ^ short_tail) * kMul;
  }
  if (n > 8 && n <= 16) {
    // The common longer name: two overlapping words, no loop.
    h = (h ^ word64(p)) * kMul;
    h ^= h >> 32;
    return (h ^ word64(p + n - 8)) * kMul;
  }
  if (n > 32) {
    // A long text (a template's run of text): two lanes, so that the
    // multiplies of one round do not wait on each other.
    constexpr std::uint64_t kMul2 = 0xC2B2AE3D27D4EB4FULL;
    std::uint64_t a = h;
    std::uint64_t b = h ^ kMul2;
    do {
      a = (a ^ word64(p)) * kMul;
      b = (b ^ word64(p + 8)) * kMul2;
      a ^= a >> 32;
      b ^= b >> 32;
      p += 16;
      n -= 16;
    } while (n > 16);
    h = a ^ ((b << 32) | (b >> 32));
  }
  while (n > 8) {
    h = (h ^ word64(p)) * kMul;
    h ^= h >> 32;
    p += 8;
    n -= 8;
  }
  std::uint64_t tail;
  if (n >= 4) {
    // Two overlapping halves cover 4..8 bytes.
    tail = word32(p) | (word32(p + n - 4) << 32);
  } else if (n > 0) {
    tail = static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) |
           (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8) |
           (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16);
  } else {
    tail = 0;
  }
  return (h ^ tail) * kMul;
}

// Byte equality of two texts of length `n`.
inline bool same_bytes(const char* a, const char* b, std::size_t n) {
  if (n >= 8) {
    if (n > 16) return std::memcmp(a, b, n) == 0;
    // Two overlapping words cover 8..16 bytes.
    return ((word64(a) ^ word64(b)) | (word64(a + n - 8) ^ word64(b + n - 8))) == 0;
  }
  if (n >= 4) return ((word32(a) ^ word32(b)) | (word32(a + n - 4) ^ word32(b + n - 4))) == 0;
  if (n == 0) return true;
  // 1..3 bytes: the first, middle and last cover them all.
  return a[0] == b[0] && a[n / 2] == b[n / 2] && a[n - 1] == b[n - 1];
}

// Copies `n` bytes; nothing outside either range is touched.
inline void copy_bytes(char* to, const char* from, std::size_t n) {
  if (n >= 8) {
    if (n > 16) {
      std::memcpy(to, from, n);
      return;
    }
    std::uint64_t head = word64(from);
    std::uint64_t tail = word64(from + n - 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
    return;
  }
  if (n >= 4) {
    std::uint32_t head;
    std::uint32_t tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + n - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + n - 4, &tail, 4);
    return;
  }
  if (n == 0) return;
  char first = from[0];
  char middle = from[n / 2];
  char last = from[n - 1];
  to[0] = first;
  to[n / 2] = middle;
  to[n - 1] = last;
}

}  // namespace vaxo_core::emitter

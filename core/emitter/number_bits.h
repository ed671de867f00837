// The bit patterns of the double constants the emitter writes itself.
#pragma once

#include <cstdint>

namespace vaxo_core::emitter {

inline constexpr std::uint64_t kSignBit = 0x8000000000000000ULL;
inline constexpr std::uint64_t kNanBits = 0x7FF8000000000000ULL;  // the quiet NaN of `nan`
inline constexpr std::uint64_t kInfBits = 0x7FF0000000000000ULL;  // `inf`

}  // namespace vaxo_core::emitter

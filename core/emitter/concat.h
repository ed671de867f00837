// Joins pieces of text in one allocation. Used for the texts of internal
// errors (and it sidesteps g++ 12's false -Wrestrict on `"..." + string`).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vaxo_core::emitter {

inline std::string concat(std::initializer_list<std::string_view> pieces) {
  std::size_t n = 0;
  for (std::string_view p : pieces) n += p.size();
  std::string out;
  out.reserve(n);
  for (std::string_view p : pieces) out.append(p);
  return out;
}

}  // namespace vaxo_core::emitter

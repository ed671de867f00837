#include "core/lexer/list_growth.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "core/lexer/scanner.h"
#include "core/lexer/token.h"

namespace vaxo_core::lexer::scanner {

namespace {

// A long script's list is fresh memory, written once front to back: its
// aligned interior is advised onto huge pages. Advice only; where it is not
// taken, nothing changes.
template <typename List>
void advise_huge_pages(const List& tokens) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const std::size_t bytes = tokens.capacity() * sizeof(Token);
  if (bytes < 2 * kHuge) return;
  const auto start = reinterpret_cast<std::uintptr_t>(tokens.data());
  const std::uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t last = (start + bytes) & ~(kHuge - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)tokens;
#endif
}

}  // namespace

template <typename List>
[[gnu::noinline]] void grow_script_list(const LexerInput& in, List& tokens, Growth& last) {
  const std::size_t n = tokens.size();
  const std::size_t left = in.text.size() - in.position;
  const auto density = [&](std::size_t tokens_then, std::size_t position_then) {
    return static_cast<double>(n - tokens_then) / static_cast<double>(in.position - position_then + 1);
  };
  const double per_byte = std::max(density(0, last.from), density(last.tokens, last.position));
  const auto more = static_cast<std::size_t>(per_byte * (1.0 + 1.0 / 32) * static_cast<double>(left));
  tokens.reserve(n + std::max(more, n / 8) + 16);
  advise_huge_pages(tokens);
  last.tokens = n;
  last.position = in.position;
}

template void grow_script_list(const LexerInput&, std::vector<Token>&, Growth&);
template void grow_script_list(const LexerInput&, KeptTokens&, Growth&);

}  // namespace vaxo_core::lexer::scanner

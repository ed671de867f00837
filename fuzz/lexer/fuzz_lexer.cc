// Fuzzes both lexer entry points (script and template) and checks the
// invariants of every result: one Eof at the end, ranges inside the text, on
// character boundaries and never running backwards. Only nesting past the
// budget may fail.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "core/lexer/lexer.h"
#include "testing/lex_dump.h"

using namespace vaxo_core;

namespace {

void check(std::string_view text, bool template_mode) {
  config::Config config;
  auto in = lexer::to_input(text, config);
  auto tokens = template_mode ? lexer::lex_string(in) : lexer::lex(in);
  if (!tokens) return;
  auto fault = lexer::testing::check_invariants(text, *tokens, template_mode);
  if (!fault.empty()) {
    std::fprintf(stderr, "invariant broken (%s): %s\n", template_mode ? "template" : "script", fault.c_str());
    __builtin_trap();
  }
  // Copies are deep and equal; the text form never fails.
  auto copy = *tokens;
  if (copy != *tokens) __builtin_trap();
  for (const auto& t : copy) (void)t.to_string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  check(text, false);
  check(text, true);
  return 0;
}

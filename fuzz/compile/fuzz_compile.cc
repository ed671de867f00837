// Fuzzes the whole pipeline. The first byte picks the options (input mode,
// position encoding, tags, source map, errors); the rest is the text, used
// only when it is valid UTF-8, as every text from the host is. Checks: no
// internal error, words in whole groups, a chunk exactly when no error word
// was kept (with errors switched off: exactly when no stage gave up), chunk
// lengths that add up, and (lines and columns) the words a
// checkpoint lookup gives for the offsets of the same diagnostics.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>

#include "core/compile/compiler.h"
#include "core/diagnostic/diagnostic_code.h"
#include "core/diagnostic/encode_diagnostics.h"

using namespace vaxo_core;

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  __builtin_trap();
}

bool valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    std::uint32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

std::uint32_t read_u32(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;  // little-endian hosts only, as the module is built for
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (!valid_utf8(text)) return 0;

  config::Config config;
  config.input_mode = (options & 1) ? config::InputMode::Template : config::InputMode::Script;
  config.diagnostic_position_encoding = static_cast<config::DiagnosticPositionEncoding>((options >> 1) & 3);
  config.diagnostic_tag = (options & 8) != 0;
  config.diagnostic_sourcemap = (options & 16) != 0;
  config.diagnostic_error = (options & 32) == 0;

  compile::CompileResult result;
  try {
    result = compile::Compiler::compile(text, config);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    fault("compile threw");
  }

  const std::size_t group = config.diagnostic_position_encoding == config::DiagnosticPositionEncoding::None ? 3 : 5;
  if (result.diagnostics.size() % group != 0) fault("words in partial groups");
  bool has_error = false;
  for (std::size_t i = group - 1; i < result.diagnostics.size(); i += group) {
    auto code = diagnostic::try_from(static_cast<std::uint16_t>(result.diagnostics[i]));
    if (!code || result.diagnostics[i] > 0xFFFF) fault("unknown code word");
    if (diagnostic::is_error(*code)) has_error = true;
    if (group == 3 && (result.diagnostics[i - 2] > result.diagnostics[i - 1] || result.diagnostics[i - 1] > text.size())) {
      fault("range outside the text");
    }
  }
  if (config.diagnostic_error) {
    if (result.chunk.has_value() == has_error) fault("chunk present exactly when no error is kept");
  } else {
    // Filtered errors neither show nor withhold the chunk; only a stage that
    // gave up (its LexerError or ParserError filtered too) leaves none.
    if (has_error) fault("no error word when errors are off");
    config::Config kept = config;
    kept.diagnostic_error = true;
    const auto with_errors = compile::Compiler::compile(text, kept);
    bool gave_up = false;
    for (std::size_t i = group - 1; i < with_errors.diagnostics.size(); i += group) {
      const auto code = static_cast<diagnostic::DiagnosticCode>(with_errors.diagnostics[i]);
      gave_up = gave_up || code == diagnostic::DiagnosticCode::LexerError || code == diagnostic::DiagnosticCode::ParserError;
    }
    if (result.chunk.has_value() == gave_up) fault("chunk present exactly when no stage gave up");
    if (with_errors.chunk && with_errors.chunk != result.chunk) fault("errors switched off change no chunk");
  }
  if (group == 5) {
    config::Config offsets = config;
    offsets.diagnostic_position_encoding = config::DiagnosticPositionEncoding::None;
    const auto raw = compile::Compiler::compile(text, offsets).diagnostics;
    if (raw.size() / 3 != result.diagnostics.size() / 5) fault("same diagnostics under every encoding");
    const auto mapping = diagnostic::pos_to_line_col(text, config);
    for (std::size_t d = 0; d < raw.size() / 3; ++d) {
      const std::uint32_t* words = result.diagnostics.data() + d * 5;
      const auto start = mapping.line_col_of(raw[d * 3]);
      const auto end = mapping.line_col_of(raw[d * 3 + 1]);
      if (words[0] != start.line || words[1] != start.col || words[2] != end.line || words[3] != end.col ||
          words[4] != raw[d * 3 + 2]) {
        fault("line and column words agree with a lookup of the offsets");
      }
    }
  }

  if (result.chunk) {
    const auto& b = *result.chunk;
    if (b.size() < 12) fault("chunk too short");
    if (read_u32(b, 0) != b.size() - 4) fault("total length");
    std::size_t code_length = read_u32(b, 4);
    if (8 + code_length + 4 > b.size()) fault("code length");
    if (8 + code_length + 4 + read_u32(b, 8 + code_length) != b.size()) fault("constants length");
    if ((b[8] & 0x7F) != 93 || (b[8 + code_length - 1] & 0x7F) != 95) fault("one function block");
  }
  return 0;
}

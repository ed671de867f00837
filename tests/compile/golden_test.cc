// Golden files for the whole pipeline: tests/data/compile/{ok,err}/NAME.src
// (a script) or NAME.tpl (a template) go through Compiler::compile with the
// default Config. NAME.expected holds the diagnostics as the host decodes
// them ("line:col-line:col Level Name", columns in bytes) and the chunk's
// size, instruction and constant counts, or "none". The harness is
// tests/support/golden.h; here the chunk must be withheld exactly when an
// error is reported, and the byte-offset encoding must report the same codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/compile/compiler.h"
#include "tests/emitter/support/disassembler.h"
#include "tests/support/golden.h"

namespace vaxo_core::compile {
namespace {

using diagnostic::DiagnosticCode;

std::string decode(const std::vector<std::uint32_t>& words, std::string& fault) {
  std::string out;
  if (words.size() % 5 != 0) fault = "line-column words do not come in fives";
  for (std::size_t i = 0; i + 4 < words.size(); i += 5) {
    auto code = diagnostic::from_repr(static_cast<std::uint16_t>(words[i + 4]));
    if (!code) {
      fault = "undeclared code " + std::to_string(words[i + 4]);
      continue;
    }
    out += std::to_string(words[i]) + ":" + std::to_string(words[i + 1]) + "-" + std::to_string(words[i + 2]) + ":" +
           std::to_string(words[i + 3]) + " " + std::string(diagnostic::level_str(*code)) + " " +
           std::string(diagnostic::name(*code)) + "\n";
  }
  return out;
}

golden::Output compile_golden(const golden::Case& c) {
  golden::Output out;
  config::Config config;
  config.input_mode = c.mode;
  CompileResult lines = Compiler::compile(c.text, config);
  config.diagnostic_position_encoding = config::DiagnosticPositionEncoding::None;
  CompileResult offsets = Compiler::compile(c.text, config);

  if (offsets.diagnostics.size() % 3 != 0) out.fault = "offset words do not come in threes";
  for (std::size_t i = 0; i + 2 < offsets.diagnostics.size(); i += 3) {
    auto code = diagnostic::from_repr(static_cast<std::uint16_t>(offsets.diagnostics[i + 2]));
    if (!code) continue;
    out.diagnostics.push_back({{offsets.diagnostics[i], offsets.diagnostics[i + 1]}, *code});
  }
  const std::string decoded = decode(lines.diagnostics, out.fault);
  out.dump = "== diagnostics\n" + (decoded.empty() ? "none\n" : decoded);
  if (out.diagnostics.size() * 5 != lines.diagnostics.size()) out.fault = "the two encodings differ in count";
  for (std::size_t i = 0; i < out.diagnostics.size() && 5 * i + 4 < lines.diagnostics.size(); ++i) {
    if (diagnostic::code(out.diagnostics[i].error) != lines.diagnostics[5 * i + 4]) {
      out.fault = "the two encodings differ in codes";
    }
  }
  if (lines.chunk != offsets.chunk) out.fault = "the encoding changed the chunk";

  bool has_error = false;
  for (const auto& d : out.diagnostics) has_error = has_error || diagnostic::is_error(d.error);
  if (lines.chunk.has_value() == has_error) out.fault = "a chunk must come exactly when there is no error";
  out.dump += "== chunk\n";
  if (!lines.chunk) {
    out.dump += "none\n";
  } else {
    const auto& bytes = *lines.chunk;
    emitter::Listing listing = emitter::disassemble_listing(bytes);
    out.dump += std::to_string(bytes.size()) + " bytes, " + std::to_string(emitter::count_instructions(bytes)) +
                " instructions, " + std::to_string(listing.constants.size()) + " constants\n";
  }
  return out;
}

TEST(CompileGolden, Files) { EXPECT_GE(golden::run("compile", compile_golden), 16u); }

}  // namespace
}  // namespace vaxo_core::compile

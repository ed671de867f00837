// The word form of the diagnostics handed to the host: per diagnostic either
// (start offset, end offset, code) or (start line, start column, end line,
// end column, code), lines and columns 1-based, the column counted in the
// unit the Config names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "core/config/config.h"
#include "core/diagnostic/source_diagnostic.h"

namespace vaxo_core::diagnostic {

// Counts the units of one piece of text: bytes, UTF-16 code units or scalar values.
using CodePointCounter = std::uint64_t (*)(std::string_view piece);

std::uint64_t count_utf8_bytes(std::string_view piece);
std::uint64_t count_utf16_units(std::string_view piece);
std::uint64_t count_scalar_values(std::string_view piece);

// One checkpoint of the line table.
struct Offset {
  std::size_t offset;  // byte offset in the text
  std::uint64_t line;  // 1-based
  std::uint64_t col;   // 1-based, in the counter's unit

  friend constexpr bool operator==(const Offset&, const Offset&) = default;
};

struct LineCol {
  std::uint32_t line;
  std::uint32_t col;

  friend constexpr bool operator==(const LineCol&, const LineCol&) = default;
};

// Byte positions to (line, column). Checkpoints sit at every line start and
// every <= 1024 bytes within long lines, so one lookup counts little text. A
// block index (the checkpoints before each 64-byte block of the text) narrows
// every lookup to the few checkpoints of one block, whatever the order of the
// positions asked for.
class PositionMapping {
 public:
  PositionMapping(std::vector<Offset> offsets, std::string_view script, CodePointCounter counter);

  // Throws InternalError for a position past the end of the text, inside a
  // multi-byte character, or whose line or column does not fit 32 bits.
  LineCol line_col_of(std::size_t position) const;
  // The same; `hint` is set to the checkpoint used, a good start for the
  // next, nearby position.
  LineCol line_col_of(std::size_t position, std::size_t& hint) const;

  const std::vector<Offset>& offsets() const { return offsets_; }

 private:
  std::size_t checkpoint_index(std::size_t position, std::size_t hint) const;

  std::vector<Offset> offsets_;
  std::string_view script_;
  CodePointCounter code_point_counter_;
  // Entry b: how many checkpoints lie at or before byte b * 64. Empty when
  // the counts would not fit 32 bits; lookups then search from the hint.
  std::vector<std::uint32_t> blocks_;
};

// The counting function of an encoding: anything but Utf16 and Utf32 counts bytes.
CodePointCounter counter_for(config::DiagnosticPositionEncoding encoding);

// The checkpoints of the whole text, in ascending offset order.
std::vector<Offset> line_checkpoints(std::string_view script, CodePointCounter counter);

PositionMapping pos_to_line_col(std::string_view script, const config::Config& config);

// Three words per diagnostic: raw offsets, then the code. No text is consulted.
std::vector<std::uint32_t> encode_diagnostics_none(std::span<const SourceDiagnostic> diagnostics);

std::vector<std::uint32_t> encode_diagnostics(std::string_view script,
                                              std::span<const SourceDiagnostic> diagnostics,
                                              const config::Config& config);

}  // namespace vaxo_core::diagnostic

#include "core/diagnostic/encode_diagnostics.h"

#include <algorithm>
#include <limits>
#include <string>

#include "core/diagnostic/internal_error.h"

namespace vaxo_core::diagnostic {

namespace {

// Longest stretch of one line counted per lookup.
constexpr std::size_t kCheckpointStep = 1024;
constexpr std::uint64_t kWordMax = std::numeric_limits<std::uint32_t>::max();

constexpr bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

std::uint32_t to_word(std::uint64_t value, const char* what) {
  if (value > kWordMax) [[unlikely]] {
    throw InternalError(std::string("Diagnostic ") + what + " " + std::to_string(value) +
                        " does not fit in 32 bits");
  }
  return static_cast<std::uint32_t>(value);
}

// The largest character boundary of the line not after `target` (relative
// offsets); `rel` is a boundary before it. Text that is not UTF-8 has no
// boundaries to find within three bytes: then `target` stands.
std::size_t boundary_at_or_before(std::string_view line, std::size_t rel, std::size_t target) {
  std::size_t back = 0;
  while (back < 3 && target - back > rel &&
         is_continuation(static_cast<unsigned char>(line[target - back]))) {
    ++back;
  }
  if (is_continuation(static_cast<unsigned char>(line[target - back]))) return target;
  return target - back;
}

void add_line_checkpoints(std::vector<Offset>& out, std::string_view script, std::size_t start,
                          std::size_t length, std::uint64_t line, CodePointCounter counter) {
  Offset current{start, line, 1};
  if (length <= kCheckpointStep) {
    out.push_back(current);
    return;
  }
  std::string_view text = script.substr(start, length);
  std::size_t rel = 0;
  while (rel < length) {
    std::size_t next = rel + kCheckpointStep >= length
                           ? length
                           : boundary_at_or_before(text, rel, rel + kCheckpointStep);
    out.push_back(current);
    current = Offset{start + next, line, current.col + counter(text.substr(rel, next - rel))};
    rel = next;
  }
}

}  // namespace

std::uint64_t count_utf8_bytes(std::string_view piece) { return piece.size(); }

std::uint64_t count_utf16_units(std::string_view piece) {
  // A lead byte starts one unit, a four-byte lead one more.
  std::uint64_t n = 0;
  for (char ch : piece) {
    auto b = static_cast<unsigned char>(ch);
    n += static_cast<std::uint64_t>(!is_continuation(b)) + static_cast<std::uint64_t>(b >= 0xF0);
  }
  return n;
}

std::uint64_t count_scalar_values(std::string_view piece) {
  std::uint64_t n = 0;
  for (char ch : piece) n += static_cast<std::uint64_t>(!is_continuation(static_cast<unsigned char>(ch)));
  return n;
}

CodePointCounter counter_for(config::DiagnosticPositionEncoding encoding) {
  switch (encoding) {
    case config::DiagnosticPositionEncoding::Utf16:
      return &count_utf16_units;
    case config::DiagnosticPositionEncoding::Utf32:
      return &count_scalar_values;
    case config::DiagnosticPositionEncoding::None:
    case config::DiagnosticPositionEncoding::Utf8:
      break;
  }
  return &count_utf8_bytes;
}

std::vector<Offset> line_checkpoints(std::string_view script, CodePointCounter counter) {
  std::vector<Offset> out;
  // One checkpoint per line plus at most one per 1024 bytes of long lines:
  // sizing the table up front spares the copies of a growing one.
  auto line_feeds = static_cast<std::size_t>(std::count(script.begin(), script.end(), '\n'));
  out.reserve(line_feeds + 1 + script.size() / kCheckpointStep);
  std::size_t start = 0;
  std::uint64_t line = 1;
  // The text after the last line feed is a line only when it is not empty.
  while (start < script.size()) {
    std::size_t lf = script.find('\n', start);
    std::size_t end = lf == std::string_view::npos ? script.size() : lf;
    if (lf != std::string_view::npos && end > start && script[end - 1] == '\r') --end;
    add_line_checkpoints(out, script, start, end - start, line, counter);
    if (lf == std::string_view::npos) break;
    start = lf + 1;
    ++line;
  }
  return out;
}

// The last checkpoint at or before `position`: a galloping search from
// `hint`, then bisection within the bracket found.
std::size_t PositionMapping::checkpoint_index(std::size_t position, std::size_t hint) const {
  const std::size_t n = offsets_.size();
  std::size_t lo = 0, hi = n;  // the first checkpoint after `position` lies in (lo, hi]
  if (n != 0) {
    hint = std::min(hint, n - 1);
    if (offsets_[hint].offset <= position) {
      lo = hint;
      for (std::size_t step = 1;; step *= 2) {
        if (n - lo <= step) break;
        if (offsets_[lo + step].offset > position) {
          hi = lo + step;
          break;
        }
        lo += step;
      }
    } else {
      hi = hint;
      for (std::size_t step = 1;; step *= 2) {
        if (hi <= step) break;
        if (offsets_[hi - step].offset <= position) {
          lo = hi - step;
          break;
        }
        hi -= step;
      }
    }
  }
  auto after = std::upper_bound(offsets_.begin() + static_cast<std::ptrdiff_t>(lo),
                                offsets_.begin() + static_cast<std::ptrdiff_t>(hi), position,
                                [](std::size_t p, const Offset& o) { return p < o.offset; });
  if (after == offsets_.begin()) [[unlikely]] {
    throw InternalError("Diagnostic position " + std::to_string(position) + " precedes every line");
  }
  return static_cast<std::size_t>(after - offsets_.begin()) - 1;
}

LineCol PositionMapping::line_col_of(std::size_t position) const {
  std::size_t hint = 0;
  return line_col_of(position, hint);
}

LineCol PositionMapping::line_col_of(std::size_t position, std::size_t& hint) const {
  if (position == 0) return {1, 1};
  if (position > script_.size()) [[unlikely]] {
    throw InternalError("Diagnostic position " + std::to_string(position) +
                        " is past the end of the text (" + std::to_string(script_.size()) + " bytes)");
  }
  if (position < script_.size() && is_continuation(static_cast<unsigned char>(script_[position])))
      [[unlikely]] {
    throw InternalError("Diagnostic position " + std::to_string(position) +
                        " is inside a multi-byte character");
  }
  hint = checkpoint_index(position, hint);
  const Offset& at = offsets_[hint];
  std::uint64_t col = at.col + code_point_counter_(script_.substr(at.offset, position - at.offset));
  return {to_word(at.line, "line"), to_word(col, "column")};
}

PositionMapping pos_to_line_col(std::string_view script, const config::Config& config) {
  CodePointCounter counter = counter_for(config.diagnostic_position_encoding);
  return PositionMapping(line_checkpoints(script, counter), script, counter);
}

std::vector<std::uint32_t> encode_diagnostics_none(std::span<const SourceDiagnostic> diagnostics) {
  std::vector<std::uint32_t> words;
  words.reserve(diagnostics.size() * 3);
  for (const SourceDiagnostic& d : diagnostics) {
    words.push_back(to_word(d.range.start, "offset"));
    words.push_back(to_word(d.range.end, "offset"));
    words.push_back(code(d.error));
  }
  return words;
}

std::vector<std::uint32_t> encode_diagnostics(std::string_view script,
                                              std::span<const SourceDiagnostic> diagnostics,
                                              const config::Config& config) {
  if (diagnostics.empty()) return {};
  if (config.diagnostic_position_encoding == config::DiagnosticPositionEncoding::None) {
    return encode_diagnostics_none(diagnostics);
  }
  PositionMapping mapping = pos_to_line_col(script, config);
  std::vector<std::uint32_t> words;
  words.reserve(diagnostics.size() * 5);
  std::size_t hint = 0;
  for (const SourceDiagnostic& d : diagnostics) {
    LineCol start = mapping.line_col_of(d.range.start, hint);
    LineCol end = mapping.line_col_of(d.range.end, hint);
    words.insert(words.end(), {start.line, start.col, end.line, end.col, code(d.error)});
  }
  return words;
}

}  // namespace vaxo_core::diagnostic

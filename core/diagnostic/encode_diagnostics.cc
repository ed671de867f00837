#include "core/diagnostic/encode_diagnostics.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <string>

#include "core/base/byte_scan.h"
#include "core/diagnostic/internal_error.h"

namespace vaxo_core::diagnostic {

namespace {

// Longest stretch of one line counted per lookup. Counting UTF-16 or UTF-32
// columns reads the stretch byte by byte, so a long line with a diagnostic on
// every few bytes needs short stretches to stay linear; a byte column is a
// subtraction, and its checkpoints only need to keep lines apart.
constexpr std::size_t kCheckpointStep = 1024;
constexpr std::size_t kCountedCheckpointStep = 128;
// Bytes per entry of the block index: a few line starts each in typical text.
constexpr unsigned kBlockShift = 6;
constexpr std::uint64_t kWordMax = std::numeric_limits<std::uint32_t>::max();
// Fewer diagnostics than one per 2^kSparseShift bytes are encoded without a
// table of lines.
constexpr unsigned kSparseShift = 8;

constexpr bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

namespace scan = base::byte_scan;

// Calls f(offset) for every line feed of `text`, in order.
template <typename F>
void for_each_line_feed(std::string_view text, F&& f) {
  const char* p = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    for (unsigned mask = scan::mask16(p + i, scan::any_of('\n')); mask != 0; mask &= mask - 1) {
      f(i + static_cast<std::size_t>(std::countr_zero(mask)));
    }
  }
  for (; i < n; ++i) {
    if (p[i] == '\n') f(i);
  }
}

// The line feeds of text[from, to).
std::size_t count_line_feeds_between(const char* p, std::size_t from, std::size_t to) {
  return scan::count(p, from, to, '\n');
}

std::size_t count_line_feeds(std::string_view text) { return count_line_feeds_between(text.data(), 0, text.size()); }

// The throws live out of line: the lookups they guard stay small enough to inline.
[[noreturn, gnu::cold, gnu::noinline]] void throw_too_wide(std::uint64_t value, const char* what) {
  throw InternalError(std::string("Diagnostic ") + what + " " + std::to_string(value) + " does not fit in 32 bits");
}

[[noreturn, gnu::cold, gnu::noinline]] void throw_before_every_line(std::size_t position) {
  throw InternalError("Diagnostic position " + std::to_string(position) + " precedes every line");
}

[[noreturn, gnu::cold, gnu::noinline]] void throw_past_end(std::size_t position, std::size_t size) {
  throw InternalError("Diagnostic position " + std::to_string(position) + " is past the end of the text (" +
                      std::to_string(size) + " bytes)");
}

[[noreturn, gnu::cold, gnu::noinline]] void throw_inside_character(std::size_t position) {
  throw InternalError("Diagnostic position " + std::to_string(position) + " is inside a multi-byte character");
}

std::uint32_t to_word(std::uint64_t value, const char* what) {
  if (value > kWordMax) [[unlikely]] throw_too_wide(value, what);
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
  const std::size_t step = counter == &count_utf8_bytes ? kCheckpointStep : kCountedCheckpointStep;
  Offset current{start, line, 1};
  if (length <= step) {
    out.push_back(current);
    return;
  }
  std::string_view text = script.substr(start, length);
  std::size_t rel = 0;
  while (rel < length) {
    std::size_t next = rel + step >= length ? length : boundary_at_or_before(text, rel, rel + step);
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
  // One checkpoint per line plus at most one per step of long lines:
  // sizing the table up front spares the copies of a growing one.
  const std::size_t step = counter == &count_utf8_bytes ? kCheckpointStep : kCountedCheckpointStep;
  out.reserve(count_line_feeds(script) + 1 + script.size() / step);
  std::size_t start = 0;
  std::uint64_t line = 1;
  for_each_line_feed(script, [&](std::size_t lf) {
    std::size_t end = lf;
    if (end > start && script[end - 1] == '\r') --end;
    add_line_checkpoints(out, script, start, end - start, line, counter);
    start = lf + 1;
    ++line;
  });
  // The text after the last line feed is a line only when it is not empty.
  if (start < script.size()) add_line_checkpoints(out, script, start, script.size() - start, line, counter);
  return out;
}

PositionMapping::PositionMapping(std::vector<Offset> offsets, std::string_view script, CodePointCounter counter)
    : offsets_(std::move(offsets)), script_(script), code_point_counter_(counter) {
  const std::size_t n = offsets_.size();
  if (n >= std::numeric_limits<std::uint32_t>::max()) return;
  // Positions run up to the text's size: its block and the next bound every lookup.
  const std::size_t blocks = (script_.size() >> kBlockShift) + 2;
  blocks_.resize(blocks);
  std::size_t at_or_before = 0;
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::size_t start = b << kBlockShift;
    while (at_or_before < n && offsets_[at_or_before].offset <= start) ++at_or_before;
    blocks_[b] = static_cast<std::uint32_t>(at_or_before);
  }
}

namespace {

// The last checkpoint at or before `position` without the block index: a
// galloping search from `hint`, then bisection within the bracket found.
[[gnu::noinline]] std::size_t search_from_hint(const std::vector<Offset>& offsets, std::size_t position,
                                               std::size_t hint) {
  const std::size_t n = offsets.size();
  std::size_t lo = 0, hi = n;  // the first checkpoint after `position` lies in (lo, hi]
  if (n != 0) {
    hint = std::min(hint, n - 1);
    if (offsets[hint].offset <= position) {
      lo = hint;
      for (std::size_t step = 1;; step *= 2) {
        if (n - lo <= step) break;
        if (offsets[lo + step].offset > position) {
          hi = lo + step;
          break;
        }
        lo += step;
      }
    } else {
      hi = hint;
      for (std::size_t step = 1;; step *= 2) {
        if (hi <= step) break;
        if (offsets[hi - step].offset <= position) {
          lo = hi - step;
          break;
        }
        hi -= step;
      }
    }
  }
  auto after = std::upper_bound(offsets.begin() + static_cast<std::ptrdiff_t>(lo),
                                offsets.begin() + static_cast<std::ptrdiff_t>(hi), position,
                                [](std::size_t p, const Offset& o) { return p < o.offset; });
  if (after == offsets.begin()) [[unlikely]] throw_before_every_line(position);
  return static_cast<std::size_t>(after - offsets.begin()) - 1;
}

}  // namespace

// The last checkpoint at or before `position`: a walk over the few
// checkpoints of its block.
std::size_t PositionMapping::checkpoint_index(std::size_t position, std::size_t hint) const {
  const std::size_t b = position >> kBlockShift;
  if (b + 1 >= blocks_.size()) [[unlikely]] return search_from_hint(offsets_, position, hint);
  std::size_t lo = blocks_[b];
  const std::size_t hi = blocks_[b + 1];
  while (lo < hi && offsets_[lo].offset <= position) ++lo;
  if (lo == 0) [[unlikely]] throw_before_every_line(position);
  return lo - 1;
}

LineCol PositionMapping::line_col_of(std::size_t position) const {
  std::size_t hint = 0;
  return line_col_of(position, hint);
}

LineCol PositionMapping::line_col_of(std::size_t position, std::size_t& hint) const {
  if (position == 0) return {1, 1};
  if (position > script_.size()) [[unlikely]] throw_past_end(position, script_.size());
  if (position < script_.size() && is_continuation(static_cast<unsigned char>(script_[position]))) [[unlikely]] {
    throw_inside_character(position);
  }
  hint = checkpoint_index(position, hint);
  const Offset& at = offsets_[hint];
  // Byte columns need no counting: the common case skips the call.
  const std::size_t span = position - at.offset;
  std::uint64_t col = at.col + (code_point_counter_ == &count_utf8_bytes
                                    ? static_cast<std::uint64_t>(span)
                                    : code_point_counter_(script_.substr(at.offset, span)));
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

namespace {

// The number of set bits of a word, in plain arithmetic (the baseline target
// has no instruction for it).
inline unsigned bit_count(std::uint64_t v) {
  v -= (v >> 1) & 0x5555555555555555ull;
  v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
  v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<unsigned>((v * 0x0101010101010101ull) >> 56);
}

// Lines and byte columns without a checkpoint table: for every 64-byte
// block of the text, the line number and line start at its first byte and
// a mask of its line feeds, from one pass over the text. A lookup reads the
// mask's bits below the position, whatever the order of the lookups. Texts
// of 4 GiB and more use the table.
class ByteLines {
 public:
  static constexpr unsigned kShift = 6;

  explicit ByteLines(std::string_view script) {
    // A final line feed starts no line: only the end of the text lies after it.
    const std::size_t size = script.size();
    const std::size_t lines_end = size != 0 && script[size - 1] == '\n' ? size - 1 : size;
    const char* data = script.data();
    blocks_.resize((size >> kShift) + 1);
    std::uint32_t line = 1, line_start = 0;
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
      const std::size_t from = b << kShift;
      std::uint64_t mask = 0;
      if (from + 64 <= lines_end) {
        for (unsigned k = 0; k < 4; ++k) {
          mask |= static_cast<std::uint64_t>(scan::mask16(data + from + 16 * k, scan::any_of('\n'))) << (16 * k);
        }
      } else {
        for (std::size_t k = from; k < lines_end; ++k) mask |= static_cast<std::uint64_t>(data[k] == '\n') << (k - from);
      }
      blocks_[b] = Block{mask, line, line_start};
      if (mask != 0) {
        line += bit_count(mask);
        line_start = static_cast<std::uint32_t>(from + 64 - static_cast<std::size_t>(std::countl_zero(mask)));
      }
    }
  }

  static bool fits(std::string_view script) { return script.size() < kWordMax; }

  // For a position the caller checked: not past the end, not inside a character.
  void at(std::size_t position, std::uint64_t& line, std::uint64_t& col) const {
    const Block& e = blocks_[position >> kShift];
    const std::uint64_t below = e.line_feeds & ((std::uint64_t{1} << (position & 63)) - 1);
    line = e.line + bit_count(below);
    const std::size_t block_start = position >> kShift << kShift;
    const std::size_t line_start =
        below != 0 ? block_start + 64 - static_cast<std::size_t>(std::countl_zero(below)) : e.line_start;
    col = 1 + static_cast<std::uint64_t>(position - line_start);
  }

 private:
  struct Block {
    std::uint64_t line_feeds;  // bit k: a line feed at the block's byte k
    std::uint32_t line;
    std::uint32_t line_start;
  };
  std::vector<Block> blocks_;
};

// Byte columns of a few diagnostics in a long text: their positions in
// ascending order, each counted on from the one before, so the text up to
// the last position is read once and nothing is built for the rest. A
// table of the whole text would cost more than the lookups it serves.
void encode_sparse_bytes(std::string_view script, std::span<const SourceDiagnostic> diagnostics,
                         std::uint32_t* words) {
  const std::size_t size = script.size();
  // A final line feed starts no line: only the end of the text lies after it.
  const std::size_t lines_end = size != 0 && script[size - 1] == '\n' ? size - 1 : size;
  // Position in the high half, the slot of its line word (diagnostic * 5,
  // +2 for an end) in the low half: both fit, as the text is below 4 GiB.
  std::vector<std::uint64_t> keys;
  keys.reserve(diagnostics.size() * 2);
  std::uint64_t slot = 0;
  for (const SourceDiagnostic& d : diagnostics) {
    for (const std::size_t position : {d.range.start, d.range.end}) {
      if (position != 0) {
        if (position > size) [[unlikely]] throw_past_end(position, size);
        if (position < size && is_continuation(static_cast<unsigned char>(script[position]))) [[unlikely]] {
          throw_inside_character(position);
        }
      }
      keys.push_back(static_cast<std::uint64_t>(position) << 32 | slot);
      slot += 2;
    }
    words[slot] = code(d.error);
    ++slot;
  }
  std::sort(keys.begin(), keys.end());
  std::size_t scanned = 0, line = 1, line_start = 0;
  for (const std::uint64_t key : keys) {
    const std::size_t position = static_cast<std::size_t>(key >> 32);
    const std::size_t upto = std::min(position, lines_end);
    if (upto > scanned) {
      const std::size_t feeds = count_line_feeds_between(script.data(), scanned, upto);
      if (feeds != 0) {
        line += feeds;
        line_start = script.rfind('\n', upto - 1) + 1;
      }
      scanned = upto;
    }
    std::uint32_t* to = words + (key & 0xFFFF'FFFFu);
    if (position == 0) {
      to[0] = 1;
      to[1] = 1;
    } else {
      to[0] = static_cast<std::uint32_t>(line);
      to[1] = static_cast<std::uint32_t>(1 + position - line_start);
    }
  }
}

}  // namespace

std::vector<std::uint32_t> encode_diagnostics(std::string_view script,
                                              std::span<const SourceDiagnostic> diagnostics,
                                              const config::Config& config) {
  if (diagnostics.empty()) return {};
  if (config.diagnostic_position_encoding == config::DiagnosticPositionEncoding::None) {
    return encode_diagnostics_none(diagnostics);
  }
  std::vector<std::uint32_t> words(diagnostics.size() * 5);
  std::uint32_t* out = words.data();
  if (counter_for(config.diagnostic_position_encoding) == &count_utf8_bytes && ByteLines::fits(script)) {
    if (diagnostics.size() <= script.size() >> kSparseShift) {
      encode_sparse_bytes(script, diagnostics, out);
      return words;
    }
    // Byte columns, the usual case, need no counting and no table of lines.
    ByteLines lines(script);
    const std::size_t size = script.size();
    auto put = [&](std::size_t position, std::uint32_t* to) {
      std::uint64_t line = 1, col = 1;
      if (position != 0) {
        if (position > size) [[unlikely]] throw_past_end(position, size);
          if (position < size && is_continuation(static_cast<unsigned char>(script[position]))) [[unlikely]] {
          throw_inside_character(position);
        }
        lines.at(position, line, col);
      }
      to[0] = to_word(line, "line");
      to[1] = to_word(col, "column");
    };
    for (const SourceDiagnostic& d : diagnostics) {
      put(d.range.start, out);
      put(d.range.end, out + 2);
      out[4] = code(d.error);
      out += 5;
    }
    return words;
  }
  PositionMapping mapping = pos_to_line_col(script, config);
  std::size_t hint = 0;
  for (const SourceDiagnostic& d : diagnostics) {
    LineCol start = mapping.line_col_of(d.range.start, hint);
    LineCol end = mapping.line_col_of(d.range.end, hint);
    out[0] = start.line;
    out[1] = start.col;
    out[2] = end.line;
    out[3] = end.col;
    out[4] = code(d.error);
    out += 5;
  }
  return words;
}

}  // namespace vaxo_core::diagnostic

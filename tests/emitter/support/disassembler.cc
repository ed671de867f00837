#include "tests/emitter/support/disassembler.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "core/emitter/chunk.h"
#include "core/emitter/opcode.h"
#include "core/lexer/token.h"

namespace vaxo_core::emitter {

namespace {

class Reader {
 public:
  Reader(std::span<const std::uint8_t> bytes, std::size_t pos, std::size_t end) : bytes_(bytes), pos_(pos), end_(end) {}

  bool done() const { return pos_ >= end_; }
  std::size_t pos() const { return pos_; }

  std::optional<std::uint8_t> u8() {
    if (pos_ + 1 > end_) return std::nullopt;
    return bytes_[pos_++];
  }
  std::optional<std::uint32_t> u32() {
    if (pos_ + 4 > end_) return std::nullopt;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(bytes_[pos_ + i]) << (8 * i);
    pos_ += 4;
    return v;
  }
  std::optional<std::uint64_t> u64() {
    auto lo = u32();
    if (!lo) return std::nullopt;
    auto hi = u32();
    if (!hi) return std::nullopt;
    return *lo | (static_cast<std::uint64_t>(*hi) << 32);
  }
  std::optional<std::string_view> text(std::size_t n) {
    if (n > end_ - pos_) return std::nullopt;
    std::string_view t(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
    pos_ += n;
    return t;
  }
  // One operand: a byte, or four little-endian bytes.
  std::optional<std::uint32_t> operand(bool wide) {
    if (wide) return u32();
    auto b = u8();
    if (!b) return std::nullopt;
    return *b;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_;
  std::size_t end_;
};

std::string signed_text(std::uint32_t v, bool wide) {
  std::int32_t s = wide ? static_cast<std::int32_t>(v) : static_cast<std::int8_t>(static_cast<std::uint8_t>(v));
  return std::to_string(s);
}

std::string number_text(std::uint64_t bits) {
  double d = std::bit_cast<double>(bits);
  if (std::isnan(d)) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof(buf), bits, 16);
    return "NaN(0x" + std::string(buf, r.ptr) + ")";
  }
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof(buf), d);
  return std::string(buf, r.ptr);
}

struct Decoded {
  std::size_t offset = 0;  // from the start of the code
  OpCode op = OpCode::Noop;
  bool wide = false;
  std::string operands;
};

// Decodes one instruction; none when the bytes are malformed.
std::optional<Decoded> decode(Reader& r, std::size_t code_start) {
  Decoded d;
  d.offset = r.pos() - code_start;
  auto byte = r.u8();
  if (!byte) return std::nullopt;
  auto op = opcode_from_byte(*byte);
  if (!op) return std::nullopt;
  d.op = *op;
  d.wide = (*byte & 0x80) != 0;
  std::string out;
  auto sep = [&out] {
    if (!out.empty()) out += ", ";
  };
  for (char shape : info(*op).shape) {
    auto v = r.operand(d.wide);
    if (!v) return std::nullopt;
    switch (shape) {
      case 'R': sep(); out += 'r'; out += std::to_string(*v); break;
      case 'P': sep(); out += signed_text(*v, d.wide); break;
      case 'K': sep(); out += 'K'; out += signed_text(*v, d.wide); break;
      case 'r':
      case 'p':
      case 'k': {
        std::int32_t n = d.wide ? static_cast<std::int32_t>(*v) : static_cast<std::int8_t>(*v);
        if (n < 0) return std::nullopt;
        sep();
        out += "[";
        for (std::int32_t i = 0; i < n; ++i) {
          auto e = r.operand(d.wide);
          if (!e) return std::nullopt;
          if (i > 0) out += ", ";
          if (shape == 'r') out += 'r';
          if (shape == 'k') out += 'K';
          out += shape == 'r' ? std::to_string(*e) : signed_text(*e, d.wide);
        }
        out += "]";
        break;
      }
      default: return std::nullopt;
    }
  }
  d.operands = std::move(out);
  return d;
}

// Indentation change around an instruction: (before, after).
std::pair<int, int> nesting(OpCode op) {
  static constexpr OpCode kOpeners[] = {OpCode::Func,    OpCode::FuncVarg,  OpCode::Loop,   OpCode::LoopFor,
                                        OpCode::LoopRange, OpCode::LoopRangeExclusive, OpCode::If, OpCode::IfNot,
                                        OpCode::IfNotInit, OpCode::IfNil,  OpCode::IfNotNil, OpCode::Record,
                                        OpCode::Array};
  static constexpr OpCode kClosers[] = {OpCode::FuncEnd, OpCode::LoopEnd, OpCode::IfEnd, OpCode::Freeze};
  if (op == OpCode::Else) return {-1, 1};
  for (OpCode o : kOpeners) {
    if (o == op) return {0, 1};
  }
  for (OpCode c : kClosers) {
    if (c == op) return {-1, 0};
  }
  return {0, 0};
}

struct Layout {
  std::size_t code_start = 0, code_end = 0, pool_start = 0, pool_end = 0;
};

std::optional<Layout> layout(std::span<const std::uint8_t> bytes) {
  Reader r(bytes, 0, bytes.size());
  auto total = r.u32();
  auto code_len = r.u32();
  if (!total || !code_len || *total != bytes.size() - 4 || *code_len > bytes.size() - 8) return std::nullopt;
  Layout l;
  l.code_start = 8;
  l.code_end = 8 + *code_len;
  Reader p(bytes, l.code_end, bytes.size());
  auto pool_len = p.u32();
  if (!pool_len || *pool_len != bytes.size() - l.code_end - 4) return std::nullopt;
  l.pool_start = l.code_end + 4;
  l.pool_end = bytes.size();
  return l;
}

}  // namespace

Listing disassemble_listing(std::span<const std::uint8_t> bytes) {
  Listing out;
  std::optional<Layout> l = layout(bytes);
  if (!l) {
    out.code.push_back("<malformed chunk header>");
    return out;
  }
  Reader r(bytes, l->code_start, l->code_end);
  int depth = 0;
  while (!r.done()) {
    std::optional<Decoded> d = decode(r, l->code_start);
    if (!d) {
      out.code.push_back("<malformed instruction>");
      break;
    }
    auto [before, after] = nesting(d->op);
    depth = std::max(0, depth + before);
    std::string off = std::to_string(d->offset);
    std::string line = std::string(off.size() < 5 ? 5 - off.size() : 0, ' ') + off + "  ";
    line += std::string(2 * static_cast<std::size_t>(depth), ' ');
    line += name(d->op);
    if (d->wide) line += ".w";
    if (!d->operands.empty()) line += " " + d->operands;
    out.code.push_back(std::move(line));
    depth += after;
  }
  Reader p(bytes, l->pool_start, l->pool_end);
  for (std::size_t index = 0; !p.done(); ++index) {
    auto tag = p.u8();
    std::string line = "K";
    line += std::to_string(index);
    line += ' ';
    bool ok = true;
    switch (static_cast<ConstantDiscriminants>(*tag)) {
      case ConstantDiscriminants::Nil: line += "Nil"; break;
      case ConstantDiscriminants::True: line += "True"; break;
      case ConstantDiscriminants::False: line += "False"; break;
      case ConstantDiscriminants::Ordinal: {
        auto v = p.u32();
        ok = v.has_value();
        if (ok) line += "Ordinal " + std::to_string(static_cast<std::int32_t>(*v));
        break;
      }
      case ConstantDiscriminants::Number: {
        auto v = p.u64();
        ok = v.has_value();
        if (ok) line += "Number " + number_text(*v);
        break;
      }
      case ConstantDiscriminants::String: {
        auto n = p.u32();
        auto t = n ? p.text(*n) : std::nullopt;
        ok = t.has_value();
        if (ok) line += "String \"" + lexer::debug_escape(*t) + "\"";
        break;
      }
      default: ok = false;
    }
    if (!ok) {
      out.constants.push_back("<malformed constant>");
      break;
    }
    out.constants.push_back(std::move(line));
  }
  return out;
}

std::string disassemble(std::span<const std::uint8_t> bytes) {
  Listing listing = disassemble_listing(bytes);
  std::string out = "code:\n";
  for (const std::string& line : listing.code) {
    if (line == "<malformed chunk header>") return line + "\n";
    out += line + "\n";
  }
  out += "constants:\n";
  for (const std::string& line : listing.constants) {
    if (line.front() != '<') out += "  ";
    out += line;
    out += '\n';
  }
  return out;
}

std::size_t count_instructions(std::span<const std::uint8_t> bytes) {
  std::optional<Layout> l = layout(bytes);
  if (!l) return 0;
  Reader r(bytes, l->code_start, l->code_end);
  std::size_t n = 0;
  while (!r.done() && decode(r, l->code_start)) ++n;
  return n;
}

}  // namespace vaxo_core::emitter

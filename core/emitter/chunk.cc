#include "core/emitter/chunk.h"

#include <bit>
#include <functional>
#include <limits>
#include <utility>

#include "core/diagnostic/internal_error.h"

namespace vaxo_core::emitter {

namespace {

void put_u32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  auto bytes = operand_wide_code(value);
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = bytes[i];
}

std::uint32_t checked_u32(std::size_t n, const char* what) {
  if (n > std::numeric_limits<std::uint32_t>::max()) {
    throw InternalError(concat({what, " of ", std::to_string(n), " bytes does not fit 32 bits"}));
  }
  return static_cast<std::uint32_t>(n);
}

std::size_t mix(std::uint64_t x) {
  // splitmix64 finaliser: spreads bit patterns that differ only in high bits.
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return static_cast<std::size_t>(x);
}

}  // namespace

std::string_view name(ConstantDiscriminants d) {
  switch (d) {
    case ConstantDiscriminants::Nil: return "Nil";
    case ConstantDiscriminants::True: return "True";
    case ConstantDiscriminants::False: return "False";
    case ConstantDiscriminants::Ordinal: return "Ordinal";
    case ConstantDiscriminants::Number: return "Number";
    case ConstantDiscriminants::String: return "String";
  }
  throw InternalError("Undeclared constant kind");
}

Constant Constant::ordinal(std::int32_t value) {
  Constant c(ConstantDiscriminants::Ordinal);
  c.bits_ = static_cast<std::uint32_t>(value);
  return c;
}

Constant Constant::number(double value) { return number_bits(std::bit_cast<std::uint64_t>(value)); }

Constant Constant::number_bits(std::uint64_t bits) {
  Constant c(ConstantDiscriminants::Number);
  c.bits_ = bits;
  return c;
}

Constant Constant::string(std::string_view text) {
  Constant c(ConstantDiscriminants::String);
  c.borrowed_ = text;
  return c;
}

Constant Constant::owned_string(std::string text) {
  Constant c(ConstantDiscriminants::String);
  c.owned_ = true;
  c.owned_text_ = std::move(text);
  return c;
}

double Constant::number_value() const { return std::bit_cast<double>(bits_); }

bool operator==(const Constant& a, const Constant& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case ConstantDiscriminants::Ordinal:
    case ConstantDiscriminants::Number: return a.bits_ == b.bits_;
    case ConstantDiscriminants::String: return a.text() == b.text();
    case ConstantDiscriminants::Nil:
    case ConstantDiscriminants::True:
    case ConstantDiscriminants::False: return true;
  }
  return false;
}

std::size_t Constant::hash() const {
  std::uint64_t payload = 0;
  switch (kind_) {
    case ConstantDiscriminants::Ordinal:
    case ConstantDiscriminants::Number: payload = bits_; break;
    case ConstantDiscriminants::String: payload = std::hash<std::string_view>{}(text()); break;
    case ConstantDiscriminants::Nil:
    case ConstantDiscriminants::True:
    case ConstantDiscriminants::False: break;
  }
  return mix(payload ^ (static_cast<std::uint64_t>(kind_) << 56));
}

void Constant::write_to(std::vector<std::uint8_t>& out) const {
  out.push_back(static_cast<std::uint8_t>(kind_));
  switch (kind_) {
    case ConstantDiscriminants::Nil:
    case ConstantDiscriminants::True:
    case ConstantDiscriminants::False: return;
    case ConstantDiscriminants::Ordinal: {
      auto bytes = operand_wide_code(static_cast<std::uint32_t>(bits_));
      out.insert(out.end(), bytes.begin(), bytes.end());
      return;
    }
    case ConstantDiscriminants::Number:
      for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(bits_ >> (8 * i)));
      return;
    case ConstantDiscriminants::String: {
      std::string_view t = text();
      auto bytes = operand_wide_code(checked_u32(t.size(), "String constant"));
      out.insert(out.end(), bytes.begin(), bytes.end());
      out.insert(out.end(), t.begin(), t.end());
      return;
    }
  }
}

Chunk::Chunk() : code_(kHeaderSize, 0) {}

namespace {

// A slot holds the constant's hash in its high half and position + 1 in its
// low half (0 marks a free slot): most mismatches are settled without
// touching the pool.
std::uint64_t slot_entry(std::size_t hash, std::size_t position) {
  return (static_cast<std::uint64_t>(hash >> 32) << 32) | static_cast<std::uint32_t>(position + 1);
}

}  // namespace

void Chunk::grow_index() {
  std::size_t capacity = index_.empty() ? 16 : index_.size() * 2;
  index_.assign(capacity, 0);
  std::size_t mask = capacity - 1;
  for (std::size_t i = 0; i < constants_.size(); ++i) {
    std::size_t hash = constants_[i].hash();
    std::size_t slot = hash & mask;
    while (index_[slot] != 0) slot = (slot + 1) & mask;
    index_[slot] = slot_entry(hash, i);
  }
}

OpParam Chunk::add_constant(Constant constant) {
  // Keep the load factor at most 1/2.
  if ((constants_.size() + 1) * 2 > index_.size()) grow_index();
  std::size_t mask = index_.size() - 1;
  std::size_t hash = constant.hash();
  std::uint64_t high = slot_entry(hash, 0) & ~std::uint64_t{0xFFFFFFFF};
  std::size_t slot = hash & mask;
  while (std::uint64_t entry = index_[slot]) {
    if ((entry & ~std::uint64_t{0xFFFFFFFF}) == high) {
      std::size_t position = static_cast<std::uint32_t>(entry) - 1;
      if (constants_[position] == constant) return OpParam::from_size(position);
    }
    slot = (slot + 1) & mask;
  }
  std::size_t position = constants_.size();
  // Fails past the signed 32-bit operand, before the slot's 32 bits could wrap.
  OpParam result = OpParam::from_size(position);
  constants_.push_back(std::move(constant));
  index_[slot] = slot_entry(hash, position);
  return result;
}

Placeholder Chunk::mark(OpCode placeholder) {
  Placeholder at{code_.size()};
  add_code(placeholder);
  return at;
}

void Chunk::patch(Placeholder at, OpCode final_op, std::span<const Operand> operands) {
  if (at.position < kHeaderSize || at.position >= code_.size()) {
    throw InternalError(concat({"Header placeholder at ", std::to_string(at.position), " lies outside the code"}));
  }
  // Headers have at most three operands: no allocation for the bytes to insert.
  if (operands.size() > 4) throw InternalError("Too many header operands");
  bool wide = false;
  for (const Operand& o : operands) wide = wide || o.wide;
  std::uint8_t bytes[16];
  std::size_t n = 0;
  for (const Operand& o : operands) {
    if (wide) {
      auto w = operand_wide_code(o);
      for (std::uint8_t b : w) bytes[n++] = b;
    } else {
      bytes[n++] = operand_code(o);
    }
  }
  code_[at.position] = wide ? emitter::wide_code(final_op) : emitter::code(final_op);
  code_.insert(code_.begin() + static_cast<std::ptrdiff_t>(at.position + 1), bytes, bytes + n);
}

std::vector<std::uint8_t> Chunk::into_bytes() && {
  std::vector<std::uint8_t> out = std::move(code_);
  put_u32(out, 4, checked_u32(out.size() - kHeaderSize, "Code"));
  std::size_t constants_start = out.size();
  out.insert(out.end(), 4, 0);
  for (const Constant& c : constants_) c.write_to(out);
  put_u32(out, constants_start, checked_u32(out.size() - constants_start - 4, "Constant pool"));
  put_u32(out, 0, checked_u32(out.size() - 4, "Chunk"));
  constants_.clear();
  index_.clear();
  return out;
}

}  // namespace vaxo_core::emitter

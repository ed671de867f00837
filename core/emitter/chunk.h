// Constant and Chunk: the constant pool entries and the compiled unit being
// written (instruction bytes plus the pool), with its serialised layout:
//
//   offset 0      u32 total length (bytes after this field)
//   offset 4      u32 L, the instruction bytes
//   offset 8      L instruction bytes
//   offset 8+L    u32 S, the constant entry bytes
//   offset 12+L   S bytes: each constant as tag byte + payload
//
// All numbers little-endian. A String constant may borrow its text from the
// source (which must outlive the chunk) or own it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/emitter/opcode.h"

namespace vaxo_core::emitter {

// The variant of a Constant; also its tag byte in the serialised chunk.
enum class ConstantDiscriminants : std::uint8_t {
  Nil = 0,
  True = 1,
  False = 2,
  Ordinal = 3,
  Number = 4,
  String = 5,
};

std::string_view name(ConstantDiscriminants d);

class Constant {
 public:
  static Constant nil() { return Constant(ConstantDiscriminants::Nil); }
  static Constant boolean(bool value) {
    return Constant(value ? ConstantDiscriminants::True : ConstantDiscriminants::False);
  }
  static Constant ordinal(std::int32_t value);
  static Constant number(double value);
  // Number from its exact bit pattern (negative zero, NaN payloads).
  static Constant number_bits(std::uint64_t bits);
  // Borrows `text`: it must outlive the constant.
  static Constant string(std::string_view text);
  static Constant owned_string(std::string text);

  ConstantDiscriminants discriminant() const { return kind_; }
  std::int32_t ordinal_value() const { return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits_)); }
  double number_value() const;
  std::uint64_t number_bits() const { return bits_; }
  std::string_view text() const { return owned_ ? std::string_view(owned_text_) : borrowed_; }

  // Numbers by bit pattern (0.0 != -0.0, equal NaNs share), strings by bytes,
  // ordinals by value; different variants never equal.
  friend bool operator==(const Constant& a, const Constant& b);

  // Consistent with ==.
  std::size_t hash() const;

  // Appends the tag byte and the payload. A text past 32 bits of length
  // cannot be encoded: InternalError.
  void write_to(std::vector<std::uint8_t>& out) const;

 private:
  explicit Constant(ConstantDiscriminants kind) : kind_(kind) {}

  ConstantDiscriminants kind_;
  bool owned_ = false;
  std::uint64_t bits_ = 0;  // ordinal (as u32) or number bit pattern
  std::string_view borrowed_;
  std::string owned_text_;
};

// The position of a header placeholder byte in the code.
struct Placeholder {
  std::size_t position;
};

class Chunk {
 public:
  static constexpr std::size_t kHeaderSize = 8;

  // No constants, and the 8 header bytes reserved as zeros.
  Chunk();

  const std::vector<Constant>& constants() const { return constants_; }
  const std::vector<std::uint8_t>& code() const { return code_; }

  void add_code(OpCode op) { code_.push_back(emitter::code(op)); }
  void add_code_wide(OpCode op) { code_.push_back(emitter::wide_code(op)); }
  void add_param(Operand operand) { code_.push_back(operand_code(operand)); }
  void add_param_wide(Operand operand) {
    auto bytes = operand_wide_code(operand);
    code_.insert(code_.end(), bytes.begin(), bytes.end());
  }

  // The index of the first equal constant in the pool, or of `constant`
  // appended. Linear in the number of constants overall: a hash index keeps
  // the order of first use.
  OpParam add_constant(Constant constant);

  // Header patching. `mark` writes the narrow byte of `placeholder` and
  // remembers its position; `patch` replaces that byte with the narrow or
  // wide code of `final_op` (wide when any operand is) and inserts the
  // operands right after it. Inner headers must be patched before outer ones.
  Placeholder mark(OpCode placeholder);
  void patch(Placeholder at, OpCode final_op, std::span<const Operand> operands);

  // Serialises the chunk, consuming it. Lengths past 32 bits: InternalError.
  std::vector<std::uint8_t> into_bytes() &&;

 private:
  void grow_index();

  std::vector<Constant> constants_;
  std::vector<std::uint8_t> code_;
  // Open addressing: (hash high bits, pool position + 1); 0 is a free slot.
  std::vector<std::uint64_t> index_;
};

}  // namespace vaxo_core::emitter

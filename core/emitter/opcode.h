// The bytecode vocabulary: OpCode (one byte per instruction, single source
// opcode.def), the two operand kinds Register and OpParam with their narrow
// (one byte) and wide (four bytes, little-endian) encodings, and the mapping
// of operator tokens to instruction codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/diagnostic/internal_error.h"
#include "core/emitter/concat.h"
#include "core/lexer/operator.h"

namespace vaxo_core::emitter {

enum class OpCode : std::uint8_t {
#define X(name, byte, shape, written) name = byte,
#include "core/emitter/opcode.def"
#undef X
};

struct OpCodeInfo {
  OpCode op;
  std::string_view name;   // the text form, also the key of op_codes()
  std::uint8_t byte;
  std::string_view shape;  // operand letters, see opcode.def
  bool written;            // false for the codes the emitter never writes
};

inline constexpr OpCodeInfo kOpCodes[] = {
#define X(name, byte, shape, written) {OpCode::name, #name, byte, shape, written},
#include "core/emitter/opcode.def"
#undef X
};

inline constexpr std::size_t kOpCodeCount = std::size(kOpCodes);
static_assert(kOpCodeCount == 99);

// Every code in byte order: what the host's op_codes() lists.
constexpr std::span<const OpCodeInfo> op_codes() { return kOpCodes; }

namespace opcode_detail {
constexpr bool table_is_dense() {
  for (std::size_t i = 0; i < kOpCodeCount; ++i) {
    if (kOpCodes[i].byte != i || static_cast<std::size_t>(kOpCodes[i].op) != i) return false;
  }
  return true;
}
constexpr bool shapes_are_valid() {
  for (const OpCodeInfo& info : kOpCodes) {
    for (char c : info.shape) {
      if (c != 'R' && c != 'P' && c != 'K' && c != 'r' && c != 'p' && c != 'k') return false;
    }
    if (!info.written && !info.shape.empty()) return false;
  }
  return true;
}
}  // namespace opcode_detail
static_assert(opcode_detail::table_is_dense(), "opcode bytes must run 0..98 in table order");
static_assert(opcode_detail::shapes_are_valid());

constexpr const OpCodeInfo& info(OpCode op) { return kOpCodes[static_cast<std::size_t>(op)]; }
constexpr std::string_view name(OpCode op) { return info(op).name; }
// The byte that starts the narrow form.
constexpr std::uint8_t code(OpCode op) { return static_cast<std::uint8_t>(op); }
// The byte that starts the wide form.
constexpr std::uint8_t wide_code(OpCode op) { return static_cast<std::uint8_t>(code(op) | 0x80); }
static_assert(wide_code(OpCode::CallDyn) == 0xE2);

// A register of one register frame. Register 0 is "none": a dropped result,
// nil when read, an omitted bound. It is made by the default constructor,
// never by `make`.
class Register {
 public:
  constexpr Register() = default;

  // Register `index` (1-based). 0, or a number past the 32-bit field, is a
  // broken invariant.
  static constexpr Register make(std::size_t index) {
    if (index == 0) throw InternalError("assertion failed: index != 0");
    if (index > std::numeric_limits<std::uint32_t>::max()) {
      throw InternalError(concat({"Register number ", std::to_string(index), " does not fit 32 bits"}));
    }
    Register r;
    r.number_ = static_cast<std::uint32_t>(index);
    return r;
  }

  // The register after `index`, which the caller keeps below the 32-bit limit.
  static constexpr Register after(std::uint32_t index) {
    Register r;
    r.number_ = index + 1;
    return r;
  }

  constexpr bool is_empty() const { return number_ == 0; }

  constexpr std::uint32_t value() const { return number_; }
  constexpr bool is_wide() const { return number_ > 255; }

  friend constexpr bool operator==(Register, Register) = default;

 private:
  std::uint32_t number_ = 0;
};

// A signed 32-bit operand that is not a register: a constant index, a list
// count, an immediate index or position, a frame depth, a parameter or
// register count.
class OpParam {
 public:
  constexpr OpParam() = default;
  constexpr explicit OpParam(std::int32_t v) : value_(v) {}

  // A length or an index. One past the signed 32-bit field would change its
  // meaning, so it is a broken invariant rather than a wrap.
  static constexpr OpParam from_size(std::size_t n) {
    if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      throw InternalError(concat({"Operand ", std::to_string(n), " does not fit 32 bits"}));
    }
    return OpParam(static_cast<std::int32_t>(n));
  }

  constexpr std::int32_t get() const { return value_; }

  // The two's-complement bit pattern.
  constexpr std::uint32_t value() const { return static_cast<std::uint32_t>(value_); }
  constexpr bool is_wide() const { return value_ < -128 || value_ > 127; }

  friend constexpr bool operator==(OpParam, OpParam) = default;

 private:
  std::int32_t value_ = 0;
};

// Either operand kind, as the encoder sees it.
struct Operand {
  std::uint32_t value = 0;
  bool wide = false;

  constexpr Operand() = default;
  constexpr Operand(Register r) : value(r.value()), wide(r.is_wide()) {}  // NOLINT: implicit on purpose
  constexpr Operand(OpParam p) : value(p.value()), wide(p.is_wide()) {}   // NOLINT
};

// The narrow form: the low byte (a register unsigned, an OpParam as a signed
// two's-complement byte).
constexpr std::uint8_t operand_code(const Operand& operand) {
  if (operand.wide) throw InternalError("assertion failed: !self.is_wide()");
  return static_cast<std::uint8_t>(operand.value & 0xFF);
}

// The wide form: four bytes, little-endian.
constexpr std::array<std::uint8_t, 4> operand_wide_code(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}
constexpr std::array<std::uint8_t, 4> operand_wide_code(const Operand& operand) {
  return operand_wide_code(operand.value);
}

namespace opcode_detail {
struct OperatorCode {
  lexer::Operator op;
  OpCode code;
};
inline constexpr OperatorCode kInfixOps[] = {
    {lexer::Operator::Plus, OpCode::Add},           {lexer::Operator::Minus, OpCode::Sub},
    {lexer::Operator::Asterisk, OpCode::Mul},       {lexer::Operator::Slash, OpCode::Div},
    {lexer::Operator::Percent, OpCode::Mod},        {lexer::Operator::Caret, OpCode::Pow},
    {lexer::Operator::Equal, OpCode::Eq},           {lexer::Operator::NotEqual, OpCode::Neq},
    {lexer::Operator::TildeEqual, OpCode::Aeq},     {lexer::Operator::TildeNotEqual, OpCode::Naeq},
    {lexer::Operator::Greater, OpCode::Gt},         {lexer::Operator::GreaterEqual, OpCode::Gte},
    {lexer::Operator::Less, OpCode::Lt},            {lexer::Operator::LessEqual, OpCode::Lte},
};
inline constexpr OperatorCode kCompoundOps[] = {
    {lexer::Operator::PlusAssign, OpCode::Add},     {lexer::Operator::MinusAssign, OpCode::Sub},
    {lexer::Operator::AsteriskAssign, OpCode::Mul}, {lexer::Operator::SlashAssign, OpCode::Div},
    {lexer::Operator::PercentAssign, OpCode::Mod},  {lexer::Operator::CaretAssign, OpCode::Pow},
};
// Each table spread over every operator, indexed by the operator.
template <std::size_t N>
constexpr std::array<std::optional<OpCode>, lexer::kOperatorCount> by_operator(const OperatorCode (&table)[N]) {
  std::array<std::optional<OpCode>, lexer::kOperatorCount> out{};
  for (const OperatorCode& entry : table) out[static_cast<std::size_t>(entry.op)] = entry.code;
  return out;
}
inline constexpr auto kInfixByOperator = by_operator(kInfixOps);
inline constexpr auto kCompoundByOperator = by_operator(kCompoundOps);
}  // namespace opcode_detail

// The instruction code of an arithmetic or relation operator used infix;
// none for every other operator (the logical ones are written as blocks).
constexpr std::optional<OpCode> to_infix_op(lexer::Operator op) {
  return opcode_detail::kInfixByOperator[static_cast<std::size_t>(op)];
}

// The arithmetic instruction of a compound assignment; none for the logical
// ones (`&&=`, `||=`, `??=`), which are written as blocks.
constexpr std::optional<OpCode> to_compound_op(lexer::Operator op) {
  return opcode_detail::kCompoundByOperator[static_cast<std::size_t>(op)];
}

}  // namespace vaxo_core::emitter

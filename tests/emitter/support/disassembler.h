// Disassembler for the tests: renders serialised chunk bytes as text, one
// instruction per line with its operands (indented by block structure), then
// the constant pool, driven by the OpCode table. Malformed or truncated bytes
// end the listing with a marker line; the reader never reads past the buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "core/emitter/opcode.h"

namespace vaxo_core::emitter {

// The code whose narrow or wide byte is `b`, if any.
constexpr std::optional<OpCode> opcode_from_byte(std::uint8_t b) {
  std::uint8_t narrow = b & 0x7F;
  if (narrow >= kOpCodeCount) return std::nullopt;
  return static_cast<OpCode>(narrow);
}

// So that a test's failure message names the code.
inline std::ostream& operator<<(std::ostream& os, OpCode op) { return os << name(op); }

// The listing in pieces: one line per instruction ("   12  Assign r1, r0",
// offset from the start of the code, indentation by block structure) and one
// per constant ("K0 Number 1"). A malformed part ends its list with a
// "<malformed ...>" line.
struct Listing {
  std::vector<std::string> code;
  std::vector<std::string> constants;
};
Listing disassemble_listing(std::span<const std::uint8_t> chunk_bytes);

// Instruction lines look like "Assign r1, r0", "Constant r2, K0", wide ones
// "GetIndex.w r3, r4, 300"; K operands are constant indexes, P immediates.
std::string disassemble(std::span<const std::uint8_t> chunk_bytes);

// The number of instructions in the chunk's code (for source-map checks);
// stops at the first malformed instruction.
std::size_t count_instructions(std::span<const std::uint8_t> chunk_bytes);

}  // namespace vaxo_core::emitter

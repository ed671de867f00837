// Disassembler: renders serialised chunk bytes as text, one instruction per
// line with its operands (indented by block structure), then the constant
// pool. Test support only: driven by the OpCode table, never exported to the
// host. Malformed or truncated bytes end the listing with a marker line; the
// reader never reads past the buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vaxo_core::emitter {

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

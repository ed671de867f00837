// Instruction writers: with write_fixed in emitter.h, the only code that
// appends to the chunk's code.

#include <bit>

#include "core/emitter/emitter.h"

namespace vaxo_core::emitter {

namespace {

template <typename T>
bool any_wide(std::span<const T> list) {
  for (const T& x : list) {
    if (x.is_wide()) return true;
  }
  return false;
}

}  // namespace

inline void Emitter::push_source_map(ByteRange mapping) {
  // Off by default: the usual mapping only moves the end along.
  if (mapping.start > mapping.end || mapping.end >= map_bound_) [[unlikely]] {
    return push_source_map_entry(mapping);
  }
  last_mapping_end_ = mapping.end;
}

void Emitter::push_source_map_entry(ByteRange mapping) {
  // An operand made without tokens has the absent range; mapping it to an
  // empty range keeps the source map valid (the code bytes are unaffected).
  if (mapping.start > mapping.end) mapping = ByteRange{last_mapping_end_, last_mapping_end_};
  // Skipped without the collector's filter when off, but a range past the
  // text is still refused by it.
  if (config.diagnostic_sourcemap || mapping.end > text_size_) diagnostics.push(DiagnosticCode::SourceMap, mapping);
  last_mapping_end_ = mapping.end;
}

void Emitter::write(ByteRange mapping, OpCode op, std::span<const Operand> head,
                    const std::span<const Register>* regs, const std::span<const OpParam>* params) {
  OpParam reg_count = regs ? OpParam::from_size(regs->size()) : OpParam();
  OpParam param_count = params ? OpParam::from_size(params->size()) : OpParam();
  bool wide = false;
  for (const Operand& o : head) wide = wide || o.wide;
  if (regs) wide = wide || reg_count.is_wide() || any_wide(*regs);
  if (params) wide = wide || param_count.is_wide() || any_wide(*params);

  std::size_t operands = head.size() + (regs ? 1 + regs->size() : 0) + (params ? 1 + params->size() : 0);
  std::uint8_t* p = chunk.extend_code(1 + (wide ? 4 : 1) * operands);
  if (wide) {
    *p++ = wide_code(op);
    for (const Operand& o : head) p = put_wide(p, o.value);
    if (regs) {
      p = put_wide(p, reg_count.value());
      for (Register r : *regs) p = put_wide(p, r.value());
    }
    if (params) {
      p = put_wide(p, param_count.value());
      for (OpParam q : *params) p = put_wide(p, q.value());
    }
  } else {
    *p++ = code(op);
    for (const Operand& o : head) *p++ = static_cast<std::uint8_t>(o.value);
    if (regs) {
      *p++ = static_cast<std::uint8_t>(reg_count.value());
      for (Register r : *regs) *p++ = static_cast<std::uint8_t>(r.value());
    }
    if (params) {
      *p++ = static_cast<std::uint8_t>(param_count.value());
      for (OpParam q : *params) *p++ = static_cast<std::uint8_t>(q.value());
    }
  }
  push_source_map(mapping);
}

void Emitter::write_rare(std::size_t start, std::size_t end, OpCode op, const Operand* head, std::size_t n) {
  write(ByteRange{start, end}, op, std::span<const Operand>(head, n), nullptr, nullptr);
}

void Emitter::op_4(ByteRange mapping, OpCode op, Operand a, Operand b, Operand c, Operand d) {
  const Operand head[] = {a, b, c, d};
  write_fixed(mapping, op, head);
}

void Emitter::op_variadic(ByteRange mapping, Register ret, OpCode op, std::span<const Register> regs) {
  const Operand head[] = {ret};
  write(mapping, op, head, &regs, nullptr);
}

void Emitter::op_variadic_1(ByteRange mapping, Register ret, OpCode op, Register fixed,
                            std::span<const OpParam> params) {
  const Operand head[] = {ret, fixed};
  write(mapping, op, head, nullptr, &params);
}

void Emitter::op_variadic_variadic_1(ByteRange mapping, Register ret, OpCode op, Operand fixed,
                                     std::span<const Register> regs, std::span<const OpParam> params) {
  // Without spreads, with fewer than 128 arguments and a mapping that needs
  // no checks, written here; anything else takes the general writer.
  const std::size_t n = regs.size();
  if (params.empty() && n < 128 && mapping.start <= mapping.end && mapping.end < map_bound_) [[likely]] {
    std::uint32_t high = 0;
    for (Register r : regs) high |= r.value();
    if (!ret.is_wide() && !fixed.wide && high <= 255) {
      if (chunk.has_code_room(5 + n)) {
        std::uint8_t* p = chunk.extend_code_in_room(5 + n);
        *p++ = code(op);
        *p++ = static_cast<std::uint8_t>(ret.value());
        *p++ = static_cast<std::uint8_t>(fixed.value);
        *p++ = static_cast<std::uint8_t>(n);
        for (Register r : regs) *p++ = static_cast<std::uint8_t>(r.value());
        *p = 0;
        last_mapping_end_ = mapping.end;
        return;
      }
    } else if (chunk.has_code_room(1 + 4 * (4 + n))) {
      std::uint8_t* p = chunk.extend_code_in_room(1 + 4 * (4 + n));
      *p++ = wide_code(op);
      p = put_wide(p, ret.value());
      p = put_wide(p, fixed.value);
      p = put_wide(p, static_cast<std::uint32_t>(n));
      for (Register r : regs) p = put_wide(p, r.value());
      put_wide(p, 0);
      last_mapping_end_ = mapping.end;
      return;
    }
  }
  const Operand head[] = {ret, fixed};
  write(mapping, op, head, &regs, &params);
}


void Emitter::op_bool(ByteRange mapping, Register reg, bool value) {
  OpParam k = add_const_bool(value);
  op_2(mapping, OpCode::Constant, reg, k);
}

void Emitter::op_number(ByteRange mapping, Register reg, double value) {
  OpParam k = add_const_number(value);
  op_2(mapping, OpCode::Constant, reg, k);
}

void Emitter::op_string(ByteRange mapping, Register reg, const lexer::CowText& value) {
  OpParam k = add_const_string(value);
  op_2(mapping, OpCode::Constant, reg, k);
}




void Emitter::op_return(ByteRange mapping, Register ret) { op_1(mapping, OpCode::Return, ret); }
void Emitter::op_uninit(ByteRange mapping, Register reg) { op_1(mapping, OpCode::Uninit, reg); }
void Emitter::op_non_nil(ByteRange mapping, Register reg) { op_1(mapping, OpCode::AssertNonNil, reg); }

void Emitter::op_get(ByteRange mapping, Register ret, Register obj, const lexer::CowText& name) {
  OpParam k = add_const_string(name);
  op_3(mapping, OpCode::Get, ret, obj, k);
}

void Emitter::op_get_index(ByteRange mapping, Register ret, Register obj, std::int32_t index) {
  op_3(mapping, OpCode::GetIndex, ret, obj, OpParam(index));
}

void Emitter::op_get_dyn(ByteRange mapping, Register ret, Register obj, Register index) {
  op_3(mapping, OpCode::GetDyn, ret, obj, index);
}

void Emitter::op_get_upvalue(ByteRange mapping, Register reg, std::size_t level, Register up_reg) {
  op_3(mapping, OpCode::GetUpvalue, reg, OpParam::from_size(level), up_reg);
}

void Emitter::op_set_upvalue(ByteRange mapping, Register reg, std::size_t level, Register up_reg) {
  op_3(mapping, OpCode::SetUpvalue, reg, OpParam::from_size(level), up_reg);
}

void Emitter::op_global(ByteRange mapping, Register reg, const lexer::CowText& name) {
  OpParam k = add_const_string(name);
  op_2(mapping, OpCode::GetGlobal, reg, k);
}

void Emitter::op_global_num(ByteRange mapping, Register reg, double name) {
  OpParam k = add_const_number(name);
  op_2(mapping, OpCode::GetGlobal, reg, k);
}

void Emitter::op_global_dyn(ByteRange mapping, Register reg, Register name) {
  op_2(mapping, OpCode::GetGlobalDyn, reg, name);
}

void Emitter::op_format(ByteRange mapping, Register ret, Register val, const lexer::CowText& fmt) {
  OpParam k = add_const_string(fmt);
  op_3(mapping, OpCode::Format, ret, val, k);
}

void Emitter::op_call(ByteRange mapping, Register ret, const lexer::CowText& func, std::span<const Register> args,
                      std::span<const OpParam> spreads) {
  OpParam k = add_const_string(func);
  op_variadic_variadic_1(mapping, ret, OpCode::Call, k, args, spreads);
}

void Emitter::op_call(ByteRange mapping, Register ret, std::string_view func, std::uint64_t func_hash,
                      std::span<const Register> args, std::span<const OpParam> spreads) {
  OpParam k = chunk.add_string_hashed(func, func_hash);
  op_variadic_variadic_1(mapping, ret, OpCode::Call, k, args, spreads);
}

void Emitter::op_call_dyn(ByteRange mapping, Register ret, Register func, std::span<const Register> args,
                          std::span<const OpParam> spreads) {
  op_variadic_variadic_1(mapping, ret, OpCode::CallDyn, func, args, spreads);
}

Placeholder Emitter::op_header(ByteRange mapping, OpCode placeholder) {
  Placeholder at = chunk.mark(placeholder);
  push_source_map(mapping);
  return at;
}

void Emitter::patch_header(Placeholder at, OpCode final_op, std::initializer_list<Operand> operands) {
  chunk.patch(at, final_op, std::span<const Operand>(operands.begin(), operands.size()));
}

OpParam Emitter::add_const_bool(bool value) { return chunk.add_boolean(value); }
OpParam Emitter::add_const_number(double value) { return chunk.add_number_bits(std::bit_cast<std::uint64_t>(value)); }
OpParam Emitter::add_const_ordinal(std::int32_t value) { return chunk.add_ordinal(value); }

OpParam Emitter::add_const_string(const lexer::CowText& text) { return chunk.add_string(text.view()); }

OpParam Emitter::add_const_string(std::string_view borrowed) { return chunk.add_string(borrowed); }

}  // namespace vaxo_core::emitter

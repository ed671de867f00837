// Constant and Chunk: the constant pool entries and the compiled unit being
// written (instruction bytes plus the pool), with its serialised layout:
//
//   offset 0      u32 total length (bytes after this field)
//   offset 4      u32 L, the instruction bytes
//   offset 8      L instruction bytes
//   offset 8+L    u32 S, the constant entry bytes
//   offset 12+L   S bytes: each constant as tag byte + payload
//
// All numbers little-endian. A String constant borrows its text; the chunk
// keeps one copy of each distinct text.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/emitter/hash.h"
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

class Constant {
 public:
  static Constant nil() { return Constant(ConstantDiscriminants::Nil); }
  static Constant boolean(bool value) {
    return Constant(value ? ConstantDiscriminants::True : ConstantDiscriminants::False);
  }
  static Constant ordinal(std::int32_t value) {
    Constant c(ConstantDiscriminants::Ordinal);
    c.bits_ = static_cast<std::uint32_t>(value);
    return c;
  }
  static Constant number(double value) { return number_bits(std::bit_cast<std::uint64_t>(value)); }
  // Number from its exact bit pattern (negative zero, NaN payloads).
  static Constant number_bits(std::uint64_t bits) {
    Constant c(ConstantDiscriminants::Number);
    c.bits_ = bits;
    return c;
  }
  // Borrows `text`: it must outlive the constant.
  static Constant string(std::string_view text) {
    Constant c(ConstantDiscriminants::String);
    c.text_ = text;
    return c;
  }

  ConstantDiscriminants discriminant() const { return kind_; }
  std::int32_t ordinal_value() const { return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits_)); }
  std::uint64_t number_bits() const { return bits_; }
  std::string_view text() const { return text_; }

  // Numbers by bit pattern (0.0 != -0.0, equal NaNs share), strings by bytes,
  // ordinals by value; different variants never equal.
  friend bool operator==(const Constant& a, const Constant& b);

  // Appends the tag byte and the payload, as the serialised chunk holds them.
  // A text past 32 bits of length cannot be encoded: InternalError.
  void write_to(std::vector<std::uint8_t>& out) const;

 private:
  explicit Constant(ConstantDiscriminants kind) : kind_(kind) {}

  ConstantDiscriminants kind_;
  std::uint64_t bits_ = 0;  // ordinal (as u32) or number bit pattern
  std::string_view text_;
};

// The position of a header placeholder byte in the code.
struct Placeholder {
  std::size_t position;
};

class Chunk {
 private:
  // A pool entry: 16 bytes whatever the variant, so interning touches little
  // memory. `payload` holds the ordinal (as u32) or number bits, or where the
  // text starts in `texts_` (a position rather than an address: a copied
  // chunk stays valid).
  struct Entry {
    std::uint64_t payload;
    std::uint64_t length : 56;
    std::uint64_t kind : 8;
  };

 public:
  static constexpr std::size_t kHeaderSize = 8;

  // The pool seen as Constants. Their texts borrow from the chunk until
  // the next constant is added.
  class Constants {
   public:
    explicit Constants(const Chunk& chunk) : chunk_(&chunk) {}
    std::size_t size() const { return chunk_->pool_.size(); }
    bool empty() const { return chunk_->pool_.empty(); }
    Constant operator[](std::size_t i) const;

   private:
    const Chunk* chunk_;
  };

  // No constants, and the 8 header bytes reserved as zeros; room for
  // `code_room` bytes of code, or of the whole serialised chunk, in the one
  // allocation the result is built in.
  Chunk() : Chunk(0) {}
  explicit Chunk(std::size_t code_room);
  // The pool's tables go back to the thread for its next chunk.
  ~Chunk();
  Chunk(const Chunk&) = default;
  Chunk(Chunk&&) = default;
  Chunk& operator=(const Chunk&) = default;
  Chunk& operator=(Chunk&&) = default;

  Constants constants() const { return Constants(*this); }
  // A copy of the code written so far (header bytes included).
  std::vector<std::uint8_t> code() const {
    std::vector<std::uint8_t> out;
    out.reserve(merged_code_size());
    merged_code(out);
    return out;
  }

  // Room for this many constants without growing the index (a hint).
  void reserve_constants(std::size_t count);
  // Room for `bytes` of string constant text.
  void reserve_texts(std::size_t bytes) { texts_.reserve(bytes); }

  void add_code(OpCode op) { *extend_code(1) = emitter::code(op); }
  void add_param(Operand operand) { *extend_code(1) = operand_code(operand); }
  // Whether `n` more bytes fit without growing, and appending them then.
  bool has_code_room(std::size_t n) const { return code_room_ - code_size_ >= n; }
  std::uint8_t* extend_code_in_room(std::size_t n) {
    std::uint8_t* p = code_.data() + code_size_;
    code_size_ += n;
    return p;
  }
  // Appends `n` bytes for the caller to fill; the pointer is valid until
  // the next change of the code.
  std::uint8_t* extend_code(std::size_t n) {
    if (code_room_ - code_size_ < n) [[unlikely]] grow_code(n);
    std::uint8_t* p = code_.data() + code_size_;
    code_size_ += n;
    return p;
  }

  // The index of the first equal constant in the pool, or of `constant`
  // appended. Linear in the number of constants overall: a hash index keeps
  // the order of first use.
  OpParam add_constant(const Constant& constant);
  // The same for each variant, without building a Constant. A new text is
  // copied into the chunk: the caller's text need not outlive the call.
  OpParam add_nil() { return intern_value(ConstantDiscriminants::Nil, 0); }
  OpParam add_boolean(bool value) {
    // The pool positions of true and false are remembered once interned.
    std::int32_t& known = boolean_[value ? 1 : 0];
    if (known < 0) known = intern_value(value ? ConstantDiscriminants::True : ConstantDiscriminants::False, 0).get();
    return OpParam(known);
  }
  OpParam add_ordinal(std::int32_t value) {
    return intern_value(ConstantDiscriminants::Ordinal, static_cast<std::uint32_t>(value));
  }
  OpParam add_number_bits(std::uint64_t bits) { return intern_value(ConstantDiscriminants::Number, bits); }
  OpParam add_string(std::string_view text) { return add_string_hashed(text, hash_text(text)); }
  // The same with `hash_text(text)` already worked out (a name looked up
  // among the variables first).
  OpParam add_string_hashed(std::string_view text, std::uint64_t text_hash) {
    std::uint64_t h = salt_string(text_hash);
    std::size_t slot;
    std::int64_t found = probe(h, slot, [&](const Entry& c) {
      return c.kind == kind(ConstantDiscriminants::String) && c.length == text.size() &&
             same_bytes(texts_.data() + c.payload, text.data(), text.size());
    });
    if (found >= 0) return OpParam(static_cast<std::int32_t>(found));
    return intern(Entry{0, text.size(), kind(ConstantDiscriminants::String)}, text, h, slot);
  }

  // Header patching. `mark` writes the narrow byte of `placeholder` and
  // remembers its position; `patch` replaces that byte with the narrow or
  // wide code of `final_op` (wide when any operand is) and inserts the
  // operands right after it. Inner headers must be patched before outer ones.
  // The operands are held aside and merged in when the code is copied out,
  // so a patch never moves the body behind it.
  Placeholder mark(OpCode placeholder);
  void patch(Placeholder at, OpCode final_op, std::span<const Operand> operands);

  // Serialises the chunk, consuming it. Lengths past 32 bits: InternalError.
  std::vector<std::uint8_t> into_bytes() &&;
  // Hands a serialised chunk's buffer back once read: the thread's next
  // chunk is built in it instead of a new one (an oversized one is freed).
  static void recycle(std::vector<std::uint8_t>&& bytes) noexcept;

 private:
  static constexpr std::uint64_t kind(ConstantDiscriminants d) { return static_cast<std::uint64_t>(d); }

  static constexpr std::uint64_t kTagMask = 0xFFFFFFFF00000000ULL;

  std::string_view text(const Entry& e) const { return std::string_view(texts_.data() + e.payload, e.length); }
  // As for texts, the slot and the tag are the hash's high bits.
  static std::uint64_t hash_value(ConstantDiscriminants d, std::uint64_t payload) {
    return (payload ^ (kind(d) << 56)) * 0x9E3779B97F4A7C15ULL;
  }
  // The kind only salts the text hash's high byte: the strings keep their spread.
  static std::uint64_t salt_string(std::uint64_t text_hash) {
    return text_hash ^ (kind(ConstantDiscriminants::String) << 56);
  }
  // add_constant for a variant without text.
  OpParam intern_value(ConstantDiscriminants d, std::uint64_t payload) {
    std::uint64_t h = hash_value(d, payload);
    std::size_t slot;
    std::int64_t found = probe(h, slot, [&](const Entry& c) { return c.kind == kind(d) && c.payload == payload; });
    if (found >= 0) return OpParam(static_cast<std::int32_t>(found));
    return intern(Entry{payload, 0, kind(d)}, {}, h, slot);
  }
  // The pool position of the entry with hash `h` that `same` accepts, or -1
  // with `slot` at the free slot the probe ended on (kNoSlot while the index
  // is empty).
  template <typename Same>
  [[gnu::always_inline]] std::int64_t probe(std::uint64_t h, std::size_t& slot, Same same) const {
    slot = kNoSlot;
    if (index_.empty()) return -1;
    const std::size_t mask = index_.size() - 1;
    const std::uint64_t tag = h & kTagMask;
    for (slot = static_cast<std::size_t>(h >> (64 - index_bits_));; slot = (slot + 1) & mask) {
      const std::uint64_t entry = index_[slot];
      if (entry == 0) return -1;
      if ((entry & kTagMask) != tag) continue;
      const std::uint32_t position = static_cast<std::uint32_t>(entry) - 1;
      if (same(pool_[position])) return position;
    }
  }
  static constexpr std::size_t kNoSlot = ~std::size_t{0};
  // The position of the entry equal to `e` (whose text is `text` and whose
  // hash is `h`), adding `e` when there is none. `free_slot`, when not
  // kNoSlot, is where a probe of the current index ended without finding it.
  OpParam intern(Entry e, std::string_view text, std::uint64_t h, std::size_t free_slot = kNoSlot);
  // The slot of the entry equal to `e`, or the free slot where it belongs.
  std::size_t find_slot(const Entry& e, std::string_view text, std::uint64_t hash) const;
  void grow_index();
  void grow_index(int bits);
  void grow_code(std::size_t n);

  // Header operands waiting to be inserted after their placeholder byte.
  struct Insertion {
    std::size_t position;  // of the placeholder byte
    std::uint8_t size;
    std::uint8_t bytes[16];
  };
  // Emptied tables whose memory a thread keeps between chunks (spare.h).
  struct Spare;
  friend struct EmitterSpare;
  // The code with the pending insertions merged in, into `out` (appended).
  void merged_code(std::vector<std::uint8_t>& out) const;
  std::size_t merged_code_size() const;

  std::vector<Entry> pool_;
  std::vector<char> texts_;  // the string constants' texts, side by side
  std::vector<Insertion> insertions_;
  std::size_t inserted_bytes_ = 0;
  // The first `code_size_` bytes are the code; the rest is zeroed room,
  // extended a step at a time inside the reserved capacity.
  std::vector<std::uint8_t> code_;
  std::size_t code_size_ = 0;
  // Always code_.size().
  std::size_t code_room_ = 0;
  // Open addressing by the high bits of the hash. A slot holds the hash's
  // high half and pool position + 1 (0 marks a free slot), so growing never
  // reads the pool.
  std::vector<std::uint64_t> index_;
  int index_bits_ = 0;
  // The pool positions of false and true, -1 until interned.
  std::int32_t boolean_[2] = {-1, -1};
};

}  // namespace vaxo_core::emitter

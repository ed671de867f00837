#include "core/emitter/chunk.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>

#include "core/diagnostic/internal_error.h"
#include "core/emitter/hash.h"
#include "core/emitter/spare.h"

namespace vaxo_core::emitter {

namespace {

void put_u32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  auto bytes = operand_wide_code(value);
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = bytes[i];
}

[[noreturn, gnu::noinline]] void too_long(std::size_t n, const char* what) {
  throw InternalError(concat({what, " of ", std::to_string(n), " bytes does not fit 32 bits"}));
}

// `n` as a length field; InternalError when it does not fit.
std::uint32_t checked_u32(std::size_t n, const char* what) {
  if (n > std::numeric_limits<std::uint32_t>::max()) [[unlikely]] too_long(n, what);
  return static_cast<std::uint32_t>(n);
}

// Zeroed room is added this much at a time.
constexpr std::size_t kZeroStep = 1024;

// The code's zeroed room grows by this much at a time.
constexpr std::size_t kCodeStep = kZeroStep;

// Resizes `v` to `n`, the new elements zeroed a step at a time (see kZeroStep).
template <typename T>
void resize_zeroed(std::vector<T>& v, std::size_t n) {
  constexpr std::size_t step = kZeroStep / sizeof(T);
  if (n > v.capacity()) v.reserve(n);
  while (v.size() + step < n) v.resize(v.size() + step);
  v.resize(n);
}

// The bytes a constant takes in the serialised chunk: its tag byte and payload.
std::size_t serialised_size(ConstantDiscriminants kind, std::size_t text_size) {
  switch (kind) {
    case ConstantDiscriminants::Nil:
    case ConstantDiscriminants::True:
    case ConstantDiscriminants::False: return 1;
    case ConstantDiscriminants::Ordinal: return 5;
    case ConstantDiscriminants::Number: return 9;
    case ConstantDiscriminants::String: return 5 + static_cast<std::size_t>(checked_u32(text_size, "String constant"));
  }
  throw InternalError("Undeclared constant kind");
}

// Writes a constant's tag byte and payload at `p`, which has room for its
// serialised_size; `bits` is the ordinal (as u32) or the number's bit
// pattern, `text` a string's text. Returns the end.
std::uint8_t* put_constant(std::uint8_t* p, ConstantDiscriminants kind, std::uint64_t bits, std::string_view text) {
  auto put = [&p](std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) *p++ = static_cast<std::uint8_t>(value >> (8 * i));
  };
  *p++ = static_cast<std::uint8_t>(kind);
  switch (kind) {
    case ConstantDiscriminants::Nil:
    case ConstantDiscriminants::True:
    case ConstantDiscriminants::False: break;
    case ConstantDiscriminants::Ordinal: put(bits, 4); break;
    case ConstantDiscriminants::Number: put(bits, 8); break;
    case ConstantDiscriminants::String:
      put(text.size(), 4);
      if (!text.empty()) std::memcpy(p, text.data(), text.size());
      p += text.size();
      break;
  }
  return p;
}

template <typename Table>
void keep_spare(Table& spare, Table& table, std::size_t max_bytes) {
  // The larger one is kept; an oversized one goes.
  if (table.capacity() * sizeof(typename Table::value_type) > max_bytes || table.capacity() <= spare.capacity()) {
    return;
  }
  table.clear();
  spare = std::move(table);
}

}  // namespace

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

void Constant::write_to(std::vector<std::uint8_t>& out) const {
  std::size_t at = out.size();
  out.resize(at + serialised_size(kind_, text_.size()));
  put_constant(out.data() + at, kind_, bits_, text_);
}

Chunk::Chunk(std::size_t code_room) : code_size_(kHeaderSize) {
  if (EmitterSpare* kept = emitter_spare()) {
    // Whatever another live chunk took is simply missing: this one allocates.
    Spare& spare = kept->chunk;
    code_ = std::move(spare.code);
    pool_ = std::move(spare.pool);
    texts_ = std::move(spare.texts);
    insertions_ = std::move(spare.insertions);
    index_ = std::move(spare.index);
  }
  code_room = std::max(code_room, kHeaderSize);
  code_.reserve(code_room);
  // The first step of zeroed room now, as the first write would.
  code_.resize(std::min(code_room, kCodeStep));
  code_room_ = code_.size();
}

Chunk::~Chunk() {
  EmitterSpare* kept = emitter_spare();
  if (kept == nullptr) return;
  Spare& spare = kept->chunk;
  keep_spare(spare.code, code_, Spare::kMaxBytes);
  keep_spare(spare.pool, pool_, Spare::kMaxBytes);
  keep_spare(spare.texts, texts_, Spare::kMaxBytes);
  keep_spare(spare.insertions, insertions_, Spare::kMaxBytes);
  keep_spare(spare.index, index_, Spare::kMaxBytes);
}

void Chunk::grow_code(std::size_t n) {
  // Steps of zeroed bytes about to be written anyway, doubling up to
  // kCodeStep (a buffer handed back may have far more capacity than this
  // chunk needs); past the capacity the vector grows geometrically.
  std::size_t want = code_size_ + n;
  std::size_t step = std::min(std::max(code_.size(), n), kCodeStep);
  code_.resize(std::max(want, std::min(code_.size() + step, code_.capacity())));
  code_room_ = code_.size();
}

Constant Chunk::Constants::operator[](std::size_t i) const {
  const Entry& e = chunk_->pool_.at(i);
  switch (static_cast<ConstantDiscriminants>(e.kind)) {
    case ConstantDiscriminants::Nil: return Constant::nil();
    case ConstantDiscriminants::True: return Constant::boolean(true);
    case ConstantDiscriminants::False: return Constant::boolean(false);
    case ConstantDiscriminants::Ordinal: return Constant::ordinal(static_cast<std::int32_t>(e.payload));
    case ConstantDiscriminants::Number: return Constant::number_bits(e.payload);
    case ConstantDiscriminants::String: return Constant::string(chunk_->text(e));
  }
  throw InternalError("Undeclared constant kind");
}

OpParam Chunk::add_constant(const Constant& constant) {
  switch (constant.discriminant()) {
    case ConstantDiscriminants::Nil: return add_nil();
    case ConstantDiscriminants::True: return add_boolean(true);
    case ConstantDiscriminants::False: return add_boolean(false);
    case ConstantDiscriminants::Ordinal: return add_ordinal(constant.ordinal_value());
    case ConstantDiscriminants::Number: return add_number_bits(constant.number_bits());
    case ConstantDiscriminants::String:
      return add_string(constant.text());
  }
  throw InternalError("Undeclared constant kind");
}

std::size_t Chunk::find_slot(const Entry& e, std::string_view text, std::uint64_t hash) const {
  std::size_t mask = index_.size() - 1;
  std::uint64_t tag = hash & kTagMask;
  std::size_t slot = static_cast<std::size_t>(hash >> (64 - index_bits_));
  bool is_string = e.kind == kind(ConstantDiscriminants::String);
  while (std::uint64_t entry = index_[slot]) {
    if ((entry & kTagMask) == tag) {
      const Entry& c = pool_[static_cast<std::uint32_t>(entry) - 1];
      if (c.kind == e.kind) {
        if (!is_string) {
          if (c.payload == e.payload) return slot;
        } else if (c.length == text.size() &&
                   same_bytes(texts_.data() + c.payload, text.data(), text.size())) {
          return slot;
        }
      }
    }
    slot = (slot + 1) & mask;
  }
  return slot;
}

void Chunk::reserve_constants(std::size_t count) {
  pool_.reserve(count);
  int bits = index_bits_ == 0 ? 4 : index_bits_;
  while ((std::size_t{1} << bits) < 2 * count && bits < 32) ++bits;
  // Straight to the final size: one table, not every size on the way.
  if (count > 0 && bits > index_bits_) grow_index(bits);
}

void Chunk::grow_index() { grow_index(index_bits_ == 0 ? 4 : index_bits_ + 1); }

void Chunk::grow_index(int bits) {
  // The slot comes from the hash's high bits, which the slots keep: the
  // pool is never read. Positions stay below 2^31, so 32 bits suffice.
  if (bits > 32) throw InternalError("Constant index past 32 bits");
  if (pool_.empty()) {
    // Nothing to move: a kept table's memory serves.
    index_.clear();
    resize_zeroed(index_, std::size_t{1} << bits);
    index_bits_ = bits;
    return;
  }
  std::vector<std::uint64_t> old = std::move(index_);
  resize_zeroed(index_, std::size_t{1} << bits);
  index_bits_ = bits;
  std::size_t mask = index_.size() - 1;
  for (std::uint64_t entry : old) {
    if (entry == 0) continue;
    std::size_t slot = static_cast<std::size_t>(entry >> (64 - bits));
    while (index_[slot] != 0) slot = (slot + 1) & mask;
    index_[slot] = entry;
  }
}

OpParam Chunk::intern(Entry e, std::string_view text, std::uint64_t h, std::size_t free_slot) {
  // Keep the load factor at most 1/2; a growth moves the slots.
  if ((pool_.size() + 1) * 2 > index_.size()) {
    grow_index();
    free_slot = kNoSlot;
  }
  std::size_t slot = free_slot != kNoSlot ? free_slot : find_slot(e, text, h);
  if (std::uint64_t entry = index_[slot]) return OpParam(static_cast<std::int32_t>(static_cast<std::uint32_t>(entry) - 1));
  std::size_t position = pool_.size();
  // Fails past the signed 32-bit operand, before the slot's 32 bits could wrap.
  OpParam result = OpParam::from_size(position);
  if (e.kind == kind(ConstantDiscriminants::String)) {
    e.payload = texts_.size();
    texts_.insert(texts_.end(), text.begin(), text.end());
  }
  pool_.push_back(e);
  index_[slot] = (h & kTagMask) | static_cast<std::uint32_t>(position + 1);
  return result;
}

Placeholder Chunk::mark(OpCode placeholder) {
  Placeholder at{code_size_};
  add_code(placeholder);
  return at;
}

void Chunk::patch(Placeholder at, OpCode final_op, std::span<const Operand> operands) {
  if (at.position < kHeaderSize || at.position >= code_size_) {
    throw InternalError(concat({"Header placeholder at ", std::to_string(at.position), " lies outside the code"}));
  }
  // Headers have at most three operands.
  if (operands.size() > 4) throw InternalError("Too many header operands");
  bool wide = false;
  for (const Operand& o : operands) wide = wide || o.wide;
  std::uint8_t bytes[16] = {};
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
  Insertion insertion{at.position, static_cast<std::uint8_t>(n), {}};
  std::memcpy(insertion.bytes, bytes, sizeof bytes);
  // Kept in position order, a later patch before an earlier one at the same
  // byte, so serialising merges them in one pass. Only the headers nested in
  // this one, patched before it, lie past it.
  auto past = insertions_.end();
  while (past != insertions_.begin() && std::prev(past)->position >= at.position) --past;
  insertions_.insert(past, insertion);
  inserted_bytes_ += n;
}

std::size_t Chunk::merged_code_size() const { return code_size_ + inserted_bytes_; }

void Chunk::merged_code(std::vector<std::uint8_t>& out) const {
  std::size_t from = 0;
  for (const Insertion& i : insertions_) {
    out.insert(out.end(), code_.data() + from, code_.data() + i.position + 1);
    out.insert(out.end(), i.bytes, i.bytes + i.size);
    from = i.position + 1;
  }
  out.insert(out.end(), code_.data() + from, code_.data() + code_size_);
}

void Chunk::recycle(std::vector<std::uint8_t>&& bytes) noexcept {
  if (EmitterSpare* kept = emitter_spare()) keep_spare(kept->chunk.code, bytes, Spare::kMaxBytes);
}

std::vector<std::uint8_t> Chunk::into_bytes() && {
  std::size_t code_bytes = merged_code_size();
  checked_u32(code_bytes - kHeaderSize, "Code");
  std::size_t constants_start = code_bytes;
  std::size_t pool_bytes = 0;
  for (const Entry& e : pool_) pool_bytes += serialised_size(static_cast<ConstantDiscriminants>(e.kind), e.length);
  // The code buffer becomes the result: the header operands are merged in
  // place, from the back, and the pool follows the code.
  std::vector<std::uint8_t> out = std::move(code_);
  code_.clear();
  code_room_ = 0;
  resize_zeroed(out, constants_start + 4 + pool_bytes);
  std::size_t end = code_size_;
  std::size_t shift = inserted_bytes_;
  for (auto i = insertions_.rbegin(); i != insertions_.rend(); ++i) {
    std::size_t start = i->position + 1;
    std::memmove(out.data() + start + shift, out.data() + start, end - start);
    shift -= i->size;
    std::memcpy(out.data() + start + shift, i->bytes, i->size);
    end = start;
  }
  code_size_ = 0;
  insertions_.clear();
  inserted_bytes_ = 0;
  put_u32(out, 4, checked_u32(code_bytes - kHeaderSize, "Code"));
  std::uint8_t* p = out.data() + constants_start + 4;
  for (const Entry& e : pool_) {
    auto k = static_cast<ConstantDiscriminants>(e.kind);
    p = put_constant(p, k, e.payload, k == ConstantDiscriminants::String ? text(e) : std::string_view());
  }
  put_u32(out, constants_start, checked_u32(out.size() - constants_start - 4, "Constant pool"));
  put_u32(out, 0, checked_u32(out.size() - 4, "Chunk"));
  pool_.clear();
  texts_.clear();
  index_.clear();
  index_bits_ = 0;
  boolean_[0] = boolean_[1] = -1;
  return out;
}

}  // namespace vaxo_core::emitter

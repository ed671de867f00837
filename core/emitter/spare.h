// What an emission keeps for the thread's next one: its tables, emptied, so
// that a short script's emission interns, binds and patches without
// allocating. This is all the memory the emitter keeps between compiles. A
// table above its bound goes back to the allocator instead, so together the
// tables stay under about 200 KiB whatever the input, and they go when the
// thread ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/emitter/chunk.h"
#include "core/emitter/closures.h"
#include "core/emitter/emitter_scope.h"

namespace vaxo_core::emitter {

struct Chunk::Spare {
  // Per table: the code of a script of some tens of KiB.
  static constexpr std::size_t kMaxBytes = std::size_t{32} << 10;

  std::vector<std::uint8_t> code;  // a result handed back
  std::vector<Entry> pool;
  std::vector<char> texts;
  std::vector<Insertion> insertions;
  std::vector<std::uint64_t> index;
};

struct Scopes::Spare {
  // A Scopes never starts with a larger index than a new one would grow.
  static constexpr std::size_t kMaxSlots = kFirstSlots;
  static constexpr std::size_t kMaxNames = 4096;  // bytes
  static constexpr std::size_t kMaxEntries = 256;  // per table
  static constexpr std::size_t kMaxBlocks = 1;

  bool full = false;
  std::vector<Scope> scopes;
  std::vector<std::unique_ptr<Variable[]>> blocks;
  std::vector<Binding> bindings;
  std::vector<Reference> references;
  std::vector<Slot> index;
  std::unique_ptr<char[]> names;
  std::size_t names_capacity = 0;
};

struct EmitterSpare {
  static constexpr std::size_t kMaxFrames = 256;

  Chunk::Spare chunk;
  Scopes::Spare scopes;
  std::vector<Closure> frames;
};

// The calling thread's, or null once the thread is ending: nothing is kept
// for it any more.
EmitterSpare* emitter_spare() noexcept;

}  // namespace vaxo_core::emitter

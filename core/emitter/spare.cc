#include "core/emitter/spare.h"

namespace vaxo_core::emitter {
namespace {

struct ThreadSpare {
  EmitterSpare spare;
  bool closed = false;

  ~ThreadSpare() { closed = true; }
};

thread_local ThreadSpare t_spare;

}  // namespace

EmitterSpare* emitter_spare() noexcept { return t_spare.closed ? nullptr : &t_spare.spare; }

// The frame stack of the thread's last emission is reused (a short script's
// emission allocates nothing for it), a large one freed.
Closures::Closures() {
  if (EmitterSpare* spare = emitter_spare()) frames_ = std::move(spare->frames);
  frames_.clear();
}

Closures::~Closures() {
  EmitterSpare* spare = emitter_spare();
  if (spare == nullptr || frames_.capacity() > EmitterSpare::kMaxFrames) return;
  frames_.clear();
  spare->frames = std::move(frames_);
}

}  // namespace vaxo_core::emitter

#include "core/lexer/depth_guard.h"

#include <pthread.h>

namespace vaxo_core {

namespace {

// The lowest usable stack address of the calling thread (stacks grow down on
// every platform we build for), or 0 when the platform cannot tell.
std::uintptr_t current_stack_floor() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
  void* addr = nullptr;
  std::size_t size = 0;
  int rc = pthread_attr_getstack(&attr, &addr, &size);
  pthread_attr_destroy(&attr);
  if (rc != 0 || addr == nullptr) return 0;
  auto low = reinterpret_cast<std::uintptr_t>(addr);
  std::size_t reserve = NestingBudget::kStackReserve;
  if (reserve > size / 2) reserve = size / 2;
  return low + reserve;
}

}  // namespace

NestingBudget::NestingBudget(std::size_t max_depth) : max_depth_(max_depth) {
  // Asking for the stack's bounds reads process tables: once per thread.
  thread_local const std::uintptr_t floor = current_stack_floor();
  stack_floor_ = floor;
}

}  // namespace vaxo_core

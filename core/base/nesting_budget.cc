#include "core/base/nesting_budget.h"

#include <pthread.h>

#include <algorithm>

namespace vaxo_core {

namespace {

struct StackBounds {
  std::uintptr_t low = 0;
  std::size_t size = 0;
};

StackBounds query_stack() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return {};
  void* addr = nullptr;
  std::size_t size = 0;
  int rc = pthread_attr_getstack(&attr, &addr, &size);
  pthread_attr_destroy(&attr);
  if (rc != 0 || addr == nullptr) return {};
  return {reinterpret_cast<std::uintptr_t>(addr), size};
}

}  // namespace

std::uintptr_t stack_floor(std::size_t reserve) {
  // Asking for the stack's bounds reads process tables: once per thread.
  thread_local const StackBounds stack = query_stack();
  if (stack.low == 0) return 0;
  return stack.low + std::min(reserve, stack.size / 2);
}

}  // namespace vaxo_core

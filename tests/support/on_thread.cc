#include "tests/support/on_thread.h"

#include <gtest/gtest.h>
#include <pthread.h>

namespace vaxo_core::test_support {

void on_thread(std::size_t stack_bytes, const std::function<void()>& body) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, stack_bytes), 0);
  pthread_t thread;
  auto run = [](void* arg) -> void* {
    (*static_cast<const std::function<void()>*>(arg))();
    return nullptr;
  };
  const int made = pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&body));
  pthread_attr_destroy(&attr);
  ASSERT_EQ(made, 0);
  pthread_join(thread, nullptr);
}

}  // namespace vaxo_core::test_support

// Runs test code on a thread of a chosen stack size, so that depth limits
// are checked against the stack a host's thread may have.
#pragma once

#include <cstddef>
#include <functional>

namespace vaxo_core::test_support {

// Runs `body` on a new thread with a `stack_bytes` byte stack and waits for
// it; a thread that cannot be made is a test failure.
void on_thread(std::size_t stack_bytes, const std::function<void()>& body);

}  // namespace vaxo_core::test_support

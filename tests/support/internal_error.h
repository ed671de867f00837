// The message of the internal error test code raises, for tests of the
// compiler's broken-invariant checks.
#pragma once

#include <string>

#include "core/diagnostic/internal_error.h"

namespace vaxo_core::test_support {

// What `f` raises as an InternalError, or "" when it returns normally.
template <typename F>
std::string internal_error_of(F&& f) {
  try {
    f();
  } catch (const InternalError& e) {
    return e.what();
  }
  return "";
}

}  // namespace vaxo_core::test_support

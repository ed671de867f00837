// InternalError: the one exception type for a violated invariant of the core.
// Bad input never raises it; the host module turns it into its own exception.
#pragma once

#include <stdexcept>
#include <string>

namespace vaxo_core {

class InternalError : public std::runtime_error {
 public:
  explicit InternalError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace vaxo_core

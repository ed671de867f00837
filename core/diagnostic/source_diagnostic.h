// ByteRange and SourceDiagnostic: a half-open range of byte offsets into the
// UTF-8 source text, and one diagnostic code over such a range.
#pragma once

#include <cstddef>
#include <limits>
#include <string>

#include "core/diagnostic/diagnostic_code.h"

namespace vaxo_core {

struct ByteRange {
  std::size_t start = 0;
  std::size_t end = 0;

  // The range of an absent part or an empty list.
  static constexpr ByteRange absent() { return {std::numeric_limits<std::size_t>::max(), 0}; }

  friend constexpr bool operator==(const ByteRange&, const ByteRange&) = default;
};

namespace diagnostic {

struct SourceDiagnostic {
  ByteRange range;
  DiagnosticCode error;

  static constexpr SourceDiagnostic make(ByteRange range, DiagnosticCode error) { return {range, error}; }

  // A diagnostic stands for its code: `is_error(*d)`.
  constexpr DiagnosticCode operator*() const { return error; }

  friend constexpr bool operator==(const SourceDiagnostic&, const SourceDiagnostic&) = default;
};

// "UnknownToken(1007) at 3~5: Unknown token encountered"
std::string to_display_string(const SourceDiagnostic& d);

}  // namespace diagnostic
}  // namespace vaxo_core

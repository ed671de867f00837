#include "core/diagnostic/diagnostics_collector.h"

#include <string>

#include "core/diagnostic/encode_diagnostics.h"
#include "core/diagnostic/internal_error.h"

namespace vaxo_core::diagnostic {

void DiagnosticsCollector::throw_invalid_range(DiagnosticCode error, ByteRange range) {
  throw InternalError("Invalid diagnostic range " + to_display_string(SourceDiagnostic{range, error}));
}

std::vector<std::uint32_t> DiagnosticsCollector::encode() const {
  return encode_diagnostics(script_, data_, *config_);
}

}  // namespace vaxo_core::diagnostic

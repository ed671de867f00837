#include "core/diagnostic/source_diagnostic.h"

namespace vaxo_core::diagnostic {

std::string to_display_string(const SourceDiagnostic& d) {
  std::string out(name(d.error));
  out += '(';
  out += std::to_string(code(d.error));
  out += ") at ";
  out += std::to_string(d.range.start);
  out += '~';
  out += std::to_string(d.range.end);
  out += ": ";
  out += message(d.error);
  return out;
}

}  // namespace vaxo_core::diagnostic

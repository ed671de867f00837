// The emitter's entry, function blocks and blocks.

#include "core/emitter/emitter.h"

namespace vaxo_core::emitter {

Emitter::Emitter(const DiagnosticsCollector& caller)
    : config(caller.config()), diagnostics(caller.config(), caller.script()) {}

}  // namespace vaxo_core::emitter

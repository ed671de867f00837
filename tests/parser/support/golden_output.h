// What a parser golden file holds for one rule's result: the tree dump, the
// tokens left unread (where the rule may stop early) and the diagnostics the
// walker collects; a fault when the node's range leaves the text.
#pragma once

#include <optional>
#include <string>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast_walker.h"
#include "core/parser/dump.h"
#include "tests/parser/support/source.h"
#include "tests/support/golden.h"

namespace vaxo_core::parser::testing {

template <typename Node>
golden::Output golden_output(Source& src, std::optional<Node> node, bool with_rest) {
  golden::Output out;
  const std::string rest = with_rest ? "rest: " + src.rest() + "\n" : "";
  if (!node) {
    out.dump = "no result\n" + rest;
    return out;
  }
  ByteRange r = range(*node);
  if (r != ByteRange::absent() && (r.start > r.end || r.end > src.text().size())) {
    out.fault = "the node's range is outside the text";
  }
  out.dump = dump(*node) + rest;
  config::Config config;
  diagnostic::DiagnosticsCollector collector(config, src.text());
  collect_diagnostics(*node, collector);
  out.diagnostics = collector.data();
  out.dump += collector.empty() ? "diagnostics: none\n"
                                 : "diagnostics:\n" + golden::list_diagnostics(out.diagnostics, "  ");
  return out;
}

}  // namespace vaxo_core::parser::testing

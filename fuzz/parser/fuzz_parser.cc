// Fuzzes lexer + parser + walker in both input modes. A parse may only fail
// by hitting the nesting or tree-height bound. On success every node range
// lies inside the text, and after the walk no token of the tree is still a
// recovery token (each one stood for exactly one kind).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"
#include "testing/parser_tokens.h"

using namespace vaxo_core;
using namespace vaxo_core::parser;

namespace {

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  __builtin_trap();
}

// Visits every node and token of a tree through the parts each node declares.
struct Checker {
  std::string_view text;
  bool walked = false;

  void in_text(ByteRange r, const char* what) const {
    if (r == ByteRange::absent()) return;
    if (r.start > r.end || r.end > text.size()) fault(what);
  }

  void operator()(const TokenRef& t) const {
    in_text(t.range(), "token range");
    if (walked && t->kind.is_unknown()) fault("recovery token left after the walk");
  }
  void operator()(const Token*) const {}
  void operator()(std::size_t) const {}
  void operator()(const diagnostic::SourceDiagnostic&) const {}

  void operator()(const Expression& e) const {
    in_text(range(e), "expression range");
    std::visit([&](const auto& alt) { parts(alt); }, e.node);
  }
  void operator()(const Pattern& p) const {
    in_text(range(p), "pattern range");
    std::visit([&](const auto& alt) { parts(alt); }, p.node);
  }
  void operator()(const Statement& s) const {
    in_text(range(s), "statement range");
    std::visit([&](const auto& alt) { parts(alt); }, s.node);
  }
  template <typename T>
  void operator()(const std::unique_ptr<T>& p) const {
    if (p) (*this)(*p);
  }
  template <typename T>
  void operator()(const parser::ElementBox<T>& p) const {
    if (p) (*this)(*p);
  }
  template <typename T>
  void operator()(const std::optional<T>& p) const {
    if (p) (*this)(*p);
  }
  void operator()(const parser::OptionalTokenRef& p) const {
    if (p) (*this)(*p);
  }
  template <typename T>
  void operator()(const parser::NodeList<T>& list) const {
    for (const T& e : list) (*this)(e);
  }
  template <typename T>
    requires requires(const T& t) { t.fields(); }
  void operator()(const T& t) const {
    parts(t);
  }
  template <typename T>
    requires(requires(const T& t) { t.node.index(); } && !requires(const T& t) { t.fields(); })
  void operator()(const T& t) const {
    parser::visit_node([&](const auto& alt) { parts(alt); }, t.node);
  }

  template <typename T>
  void parts(const T& t) const {
    std::apply([&](const auto&... f) { ((*this)(f), ...); }, t.fields());
  }
};

void check(std::string_view text, bool template_mode) {
  config::Config config;
  if (template_mode) config.input_mode = config::InputMode::Template;
  auto tokens = lexer::testing::parser_tokens(text, config);
  if (!tokens) return;

  auto script = parse(*tokens);
  if (!script) return;
  Checker checker{text};
  checker(*script);
  if (ByteRange r = range(*script); r.start > r.end || r.end > text.size()) fault("script range");

  diagnostic::DiagnosticsCollector collector(config, text);
  collect_diagnostics(*script, collector);
  for (const auto& d : collector) {
    if (d.range.start > d.range.end || d.range.end > text.size()) fault("diagnostic range");
  }
  checker.walked = true;
  checker(*script);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  check(text, false);
  check(text, true);
  return 0;
}

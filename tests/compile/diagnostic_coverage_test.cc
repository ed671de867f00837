// Every diagnostic code is produced by some golden file or is exempt.
//
// Each golden source under tests/data, whatever its stage, goes through
// Compiler::compile as the mode its name gives (NAME.tpl a template, else a
// script) with every category switched on, tags and source map included.
// A code no file produces fails the test unless it is on the exemption list
// with the reason it cannot be reached by a small file; an exempt code that
// some file produces fails too, so the list never goes stale. Cover a new
// code with a golden file (tests/data/compile/ suits most) before exempting it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>

#include "core/compile/compiler.h"
#include "core/diagnostic/diagnostic_code.h"
#include "tests/support/golden.h"

namespace vaxo_core::compile {
namespace {

using diagnostic::DiagnosticCode;

struct Exemption {
  DiagnosticCode code;
  std::string_view why;
};

constexpr Exemption kExempt[] = {
    // Range markers of the table: bounds of a category, never reported.
    {DiagnosticCode::ErrorStart, "category marker"},
    {DiagnosticCode::ErrorEnd, "category marker"},
    {DiagnosticCode::WarningStart, "category marker"},
    {DiagnosticCode::WarningEnd, "category marker"},
    {DiagnosticCode::InfoStart, "category marker"},
    {DiagnosticCode::InfoEnd, "category marker"},
    {DiagnosticCode::HintStart, "category marker"},
    {DiagnosticCode::HintEnd, "category marker"},
    {DiagnosticCode::ReferenceStart, "category marker"},
    {DiagnosticCode::ReferenceEnd, "category marker"},
    {DiagnosticCode::TagStart, "category marker"},
    {DiagnosticCode::TagEnd, "category marker"},
    {DiagnosticCode::TagRefStart, "category marker"},
    {DiagnosticCode::TagRefEnd, "category marker"},
    // A broken invariant ends the call with an exception, never a diagnostic.
    {DiagnosticCode::InternalError, "internal error only"},
    // The stages give up only past the nesting bound, thousands of levels
    // deep; the lexer and parser nesting tests reach it.
    {DiagnosticCode::LexerError, "needs nesting past the lexer's bound"},
    {DiagnosticCode::ParserError, "needs nesting past the parser's bound"},
    // Declared in the table, reported by no rule of the compiler.
    {DiagnosticCode::EmitterError, "reported by no rule"},
    {DiagnosticCode::OptimizerError, "reported by no rule; there is no optimizer"},
    {DiagnosticCode::Unimplemented, "reported by no rule"},
    {DiagnosticCode::UnknownStatement, "reported by no rule: an unreadable statement falls to the enclosing rule"},
    {DiagnosticCode::GlobalVariableNotDeclared, "reported by no rule"},
    {DiagnosticCode::PreferUppercaseConstant, "reported by no rule"},
    {DiagnosticCode::FnDeclaration, "tag reported by no rule"},
    {DiagnosticCode::FnExpression, "tag reported by no rule"},
    {DiagnosticCode::KeywordBreak, "tag reported by no rule"},
    {DiagnosticCode::KeywordContinue, "tag reported by no rule"},
    {DiagnosticCode::KeywordFn, "tag reported by no rule"},
    {DiagnosticCode::KeywordReturn, "tag reported by no rule"},
};

std::string_view exemption(DiagnosticCode code) {
  for (const Exemption& e : kExempt) {
    if (e.code == code) return e.why;
  }
  return {};
}

// Code -> the first golden source that produces it.
std::map<DiagnosticCode, std::string> produced_codes() {
  std::map<DiagnosticCode, std::string> out;
  for (const golden::Case& c : golden::all_sources()) {
    config::Config config;
    config.input_mode = c.mode;
    config.diagnostic_position_encoding = config::DiagnosticPositionEncoding::None;
    config.diagnostic_tag = true;
    config.diagnostic_sourcemap = true;
    CompileResult r = Compiler::compile(c.text, config);
    for (std::size_t i = 2; i < r.diagnostics.size(); i += 3) {
      auto code = diagnostic::from_repr(static_cast<std::uint16_t>(r.diagnostics[i]));
      if (code) out.emplace(*code, c.source.lexically_relative(golden::data_root()).string());
    }
  }
  return out;
}

TEST(DiagnosticCoverage, EveryCodeIsProducedByAGoldenFileOrExempt) {
  const auto produced = produced_codes();
  ASSERT_FALSE(produced.empty()) << "no golden sources under " << golden::data_root();
  std::string missing;
  std::string stale;
  for (const auto& info : diagnostic::kDiagnosticCodes) {
    const bool exempt = !exemption(info.code).empty();
    auto it = produced.find(info.code);
    if (it == produced.end() && !exempt) missing += " " + std::string(info.name);
    if (it != produced.end() && exempt) stale += " " + std::string(info.name) + " (" + it->second + ")";
  }
  EXPECT_EQ(missing, "") << "produced by no golden file and not exempt";
  EXPECT_EQ(stale, "") << "exempt yet produced: drop the exemption";
}

}  // namespace
}  // namespace vaxo_core::compile

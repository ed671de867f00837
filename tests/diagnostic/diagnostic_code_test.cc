#include "core/diagnostic/diagnostic_code.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace vaxo_core::diagnostic {
namespace {

struct CodeRow {
  std::uint16_t value;
  std::string_view name;
  std::string_view level;
  std::string_view message;
};

// Written out by hand, not generated from the table under test.
constexpr CodeRow kRows[] = {
    {1000, "ErrorStart", "Unknown", "Unknown error"},
    {1001, "InternalError", "Error", "Unknown internal error occurred"},
    {1002, "LexerError", "Error", "Unknown lexer error occurred"},
    {1003, "ParserError", "Error", "Unknown parser error occurred"},
    {1007, "UnknownToken", "Error", "Unknown token encountered"},
    {1009, "InvalidReservedKeyword", "Error", "`$0` is a reserved keyword and cannot be used as an identifier"},
    {1015, "InvalidOrdinalLiteral", "Error",
     "Invalid ordinal literal; consider remove leading zeros and underscores, or use `[$0]` instead"},
    {1019, "InvalidUnicodeEscapeSequence", "Error",
     "The value of Unicode escape sequence is not a valid Unicode code point"},
    {1034, "InvalidConstantName", "Error", "Constant name must start with '@'"},
    {1036, "MissingOpenParenAfterExtension", "Error",
     "Extension call must be ended with parameter list; add `(` here"},
    {1052, "ConstantInBindPattern", "Error", "variable whose name starts with `@` is not allowed to be rebound"},
    {1063, "ImmutableVariableAssignment", "Error", "Cannot assign to an immutable variable..."},
    {1064, "UninitializedVariable", "Error", "Cannot access a variable before it is..."},
    {1065, "DuplicateVariableDeclaration", "Error", "The variable is already..."},
    {1068, "MisuseOfGlobalKeyword", "Error",
     "`global` keyword can only be used as `global.<name>`, `global[<name>]`, or on the right-hand side of "
     "the `in` operator"},
    {1070, "UnassignableExpression", "Error", "Can only assign to a variable or a field access"},
    {1999, "ErrorEnd", "Unknown", "Unknown error"},
    {2000, "WarningStart", "Warning", "Unknown error"},
    {2001, "MisleadingNilVariable", "Warning",
     "Either use `global.$0` explicitly or `nil` if you want to use the nil value"},
    {2002, "UnnecessaryIrrefutablePattern", "Warning",
     "This pattern in a irrefutable matching is unnecessary; consider removing it or using in an `is` "
     "expression instead"},
    {2010, "GlobalVariableNotDeclared", "Warning", "Global variable `$0` is not declared"},
    {2999, "WarningEnd", "Unknown", "Unknown error"},
    {3000, "InfoStart", "Info", "Unknown error"},
    {3999, "InfoEnd", "Unknown", "Unknown error"},
    {4000, "HintStart", "Hint", "Unknown error"},
    {4001, "UnusedLocalVariable", "Hint", "Local variable is unused; consider removing it or use `_` to ignore it"},
    {4009, "PreferUppercaseConstant", "Hint", "Prefer uppercase for constant $0"},
    {4999, "HintEnd", "Unknown", "Unknown error"},
    {5000, "ReferenceStart", "Reference", "Unknown error"},
    {5001, "VariableDeclaredHere", "Reference", "...declared here"},
    {5002, "FunctionDeclaredHere", "Reference", "...declared here"},
    {5004, "ParameterItDeclaredHere", "Reference", "...declared as the auto parameter `it` by this function here"},
    {5006, "ParameterSubPatternDeclaredHere", "Reference", "...declared as a sub-pattern of parameter pattern here"},
    {5999, "ReferenceEnd", "Unknown", "Unknown error"},
    {10000, "TagStart", "Unknown", "Unknown error"},
    {10001, "LocalConst", "Unknown", "Unknown error"},
    {10029, "UnnamedRecordFieldN", "Unknown", "Unknown error"},
    {10034, "String", "Unknown", "Unknown error"},
    {10042, "MatchExpression", "Unknown", "Unknown error"},
    {10999, "TagEnd", "Unknown", "Unknown error"},
    {11000, "TagRefStart", "Unknown", "Unknown error"},
    {11001, "ReadLocal", "Unknown", "Unknown error"},
    {11023, "OmitNamedRecordFieldName", "Unknown", "Unknown error"},
    {11999, "TagRefEnd", "Unknown", "Unknown error"},
    {12000, "SourceMap", "Unknown", "Unknown error"},
};

TEST(DiagnosticCodeTest, SpotChecksOfValueNameLevelMessage) {
  for (const CodeRow& row : kRows) {
    SCOPED_TRACE(row.value);
    std::optional<DiagnosticCode> c = from_repr(row.value);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(code(*c), row.value);
    EXPECT_EQ(name(*c), row.name);
    EXPECT_EQ(level_str(*c), row.level);
    EXPECT_EQ(message(*c), row.message);
  }
}

// Which numbers exist and which carry a message, counted over every 16-bit value.
TEST(DiagnosticCodeTest, DeclaredValuesAndMessagesByRange) {
  int declared = 0, with_message = 0;
  int errors = 0, warnings = 0, infos = 0, hints = 0, references = 0, tags = 0, sourcemaps = 0;
  std::set<std::string_view> names;
  for (std::uint32_t v = 0; v <= 0xFFFF; ++v) {
    auto c = from_repr(static_cast<std::uint16_t>(v));
    bool in_code_ranges = (v >= 1001 && v <= 1070) || (v >= 2001 && v <= 2010) || (v >= 4001 && v <= 4009) ||
                          (v >= 5001 && v <= 5006) || (v >= 10001 && v <= 10042) ||
                          (v >= 11001 && v <= 11023) || v == 12000;
    bool is_marker = v == 1000 || v == 1999 || v == 2000 || v == 2999 || v == 3000 || v == 3999 ||
                     v == 4000 || v == 4999 || v == 5000 || v == 5999 || v == 10000 || v == 10999 ||
                     v == 11000 || v == 11999;
    ASSERT_EQ(c.has_value(), in_code_ranges || is_marker) << v;
    ASSERT_EQ(try_from(static_cast<std::uint16_t>(v)), c);
    if (!c) continue;
    ++declared;
    EXPECT_EQ(code(*c), v);
    EXPECT_TRUE(names.insert(name(*c)).second) << name(*c);
    bool has_message = (v >= 1001 && v <= 1070) || (v >= 2001 && v <= 2010) || (v >= 4001 && v <= 4009) ||
                       (v >= 5001 && v <= 5006);
    EXPECT_EQ(get_message(*c).has_value(), has_message) << v;
    if (has_message) {
      ++with_message;
      EXPECT_FALSE(get_message(*c)->empty());
    }
    // At most one category holds.
    int categories = is_error(*c) + is_warning(*c) + is_info(*c) + is_hint(*c) + is_reference(*c) +
                     is_tag(*c) + is_sourcemap(*c);
    EXPECT_LE(categories, 1) << v;
    errors += is_error(*c);
    warnings += is_warning(*c);
    infos += is_info(*c);
    hints += is_hint(*c);
    references += is_reference(*c);
    tags += is_tag(*c);
    sourcemaps += is_sourcemap(*c);
  }
  EXPECT_EQ(declared, 175);
  EXPECT_EQ(with_message, 95);
  EXPECT_EQ(errors, 70);          // 1000 and 1999 are outside
  EXPECT_EQ(warnings, 11);        // 2000 counts, 2999 does not
  EXPECT_EQ(infos, 1);            // only InfoStart
  EXPECT_EQ(hints, 10);
  EXPECT_EQ(references, 7);
  EXPECT_EQ(tags, 1 + 42 + 1 + 1 + 23);  // TagStart, tags, TagEnd, TagRefStart, tag references
  EXPECT_EQ(sourcemaps, 1);
}

TEST(DiagnosticCodeTest, CategoryBoundaries) {
  struct Case {
    DiagnosticCode code;
    bool error, warning, info, hint, reference, tag, sourcemap;
  };
  using D = DiagnosticCode;
  const Case cases[] = {
      {D::ErrorStart, false, false, false, false, false, false, false},
      {D::InternalError, true, false, false, false, false, false, false},
      {D::UnassignableExpression, true, false, false, false, false, false, false},
      {D::ErrorEnd, false, false, false, false, false, false, false},
      {D::WarningStart, false, true, false, false, false, false, false},
      {D::WarningEnd, false, false, false, false, false, false, false},
      {D::InfoStart, false, false, true, false, false, false, false},
      {D::InfoEnd, false, false, false, false, false, false, false},
      {D::HintStart, false, false, false, true, false, false, false},
      {D::HintEnd, false, false, false, false, false, false, false},
      {D::ReferenceStart, false, false, false, false, true, false, false},
      {D::ReferenceEnd, false, false, false, false, false, false, false},
      {D::TagStart, false, false, false, false, false, true, false},
      {D::String, false, false, false, false, false, true, false},
      {D::TagEnd, false, false, false, false, false, true, false},
      {D::TagRefStart, false, false, false, false, false, true, false},
      {D::OmitNamedRecordFieldName, false, false, false, false, false, true, false},
      {D::TagRefEnd, false, false, false, false, false, false, false},
      {D::SourceMap, false, false, false, false, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(name(c.code));
    EXPECT_EQ(is_error(c.code), c.error);
    EXPECT_EQ(is_warning(c.code), c.warning);
    EXPECT_EQ(is_info(c.code), c.info);
    EXPECT_EQ(is_hint(c.code), c.hint);
    EXPECT_EQ(is_reference(c.code), c.reference);
    EXPECT_EQ(is_tag(c.code), c.tag);
    EXPECT_EQ(is_sourcemap(c.code), c.sourcemap);
  }
}

TEST(DiagnosticCodeTest, FromReprRejectsUndeclaredNumbers) {
  EXPECT_EQ(from_repr(1000), DiagnosticCode::ErrorStart);
  EXPECT_EQ(from_repr(12000), DiagnosticCode::SourceMap);
  for (std::uint16_t v : {0, 1, 999, 1071, 1998, 2011, 3001, 4010, 5007, 9999, 10043, 11024, 11998, 12001, 65535}) {
    EXPECT_EQ(from_repr(v), std::nullopt) << v;
    EXPECT_EQ(try_from(v), std::nullopt) << v;
  }
}

TEST(DiagnosticCodeTest, UndeclaredCastIsAnInternalErrorNotACrash) {
  auto bogus = static_cast<DiagnosticCode>(1500);
  EXPECT_THROW((void)name(bogus), InternalError);
  EXPECT_THROW((void)message(bogus), InternalError);
}

TEST(DiagnosticCodeTest, UsableAtCompileTime) {
  static_assert(code(DiagnosticCode::MissingComma) == 1026);
  static_assert(name(DiagnosticCode::MissingComma) == "MissingComma");
  static_assert(level_str(DiagnosticCode::HintStart) == "Hint");
  static_assert(!from_repr(1071).has_value());
}

}  // namespace
}  // namespace vaxo_core::diagnostic

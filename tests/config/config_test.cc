#include "core/config/config.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace vaxo_core::config {
namespace {

TEST(ConfigTest, DefaultsKeepEverythingButTagsAndSourceMap) {
  constexpr Config c = Config::make();
  EXPECT_EQ(c.input_mode, InputMode::Script);
  EXPECT_EQ(c.diagnostic_position_encoding, DiagnosticPositionEncoding::Utf8);
  EXPECT_TRUE(c.diagnostic_error);
  EXPECT_TRUE(c.diagnostic_warning);
  EXPECT_TRUE(c.diagnostic_info);
  EXPECT_TRUE(c.diagnostic_hint);
  EXPECT_TRUE(c.diagnostic_reference);
  EXPECT_FALSE(c.diagnostic_tag);
  EXPECT_FALSE(c.diagnostic_sourcemap);
  EXPECT_EQ(c, Config{});
}

TEST(ConfigTest, OneByteFieldsAndEnumValues) {
  static_assert(sizeof(Config) == 9);
  static_assert(sizeof(InputMode) == 1 && sizeof(DiagnosticPositionEncoding) == 1);
  EXPECT_EQ(static_cast<int>(InputMode::Script), 0);
  EXPECT_EQ(static_cast<int>(InputMode::Template), 1);
  EXPECT_EQ(static_cast<int>(DiagnosticPositionEncoding::None), 0);
  EXPECT_EQ(static_cast<int>(DiagnosticPositionEncoding::Utf8), 1);
  EXPECT_EQ(static_cast<int>(DiagnosticPositionEncoding::Utf16), 2);
  EXPECT_EQ(static_cast<int>(DiagnosticPositionEncoding::Utf32), 3);
}

TEST(ConfigTest, EqualityComparesEveryField) {
  Config a;
  Config b;
  b.diagnostic_sourcemap = true;
  EXPECT_NE(a, b);
  b = a;
  b.input_mode = InputMode::Template;
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace vaxo_core::config

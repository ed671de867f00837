#include "core/config/config.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>

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

// Converts to any field type: counts the initialisers an aggregate takes.
struct AnyField {
  template <typename T>
  constexpr operator T() const {
    return T{};
  }
};

template <typename T, typename... Fields>
constexpr std::size_t field_count() {
  if constexpr (requires { T{Fields{}..., AnyField{}}; }) {
    return field_count<T, Fields..., AnyField>();
  } else {
    return sizeof...(Fields);
  }
}

TEST(ConfigTest, EqualityComparesEveryField) {
  void (*const changes[])(Config&) = {
      [](Config& c) { c.input_mode = InputMode::Template; },
      [](Config& c) { c.diagnostic_position_encoding = DiagnosticPositionEncoding::Utf16; },
      [](Config& c) { c.diagnostic_error = false; },
      [](Config& c) { c.diagnostic_warning = false; },
      [](Config& c) { c.diagnostic_info = false; },
      [](Config& c) { c.diagnostic_hint = false; },
      [](Config& c) { c.diagnostic_reference = false; },
      [](Config& c) { c.diagnostic_tag = true; },
      [](Config& c) { c.diagnostic_sourcemap = true; },
  };
  // A field added to Config needs its change here.
  ASSERT_EQ(std::size(changes), field_count<Config>());
  for (std::size_t i = 0; i < std::size(changes); ++i) {
    SCOPED_TRACE(i);
    Config changed;
    changes[i](changed);
    EXPECT_NE(changed, Config{});
    EXPECT_NE(Config{}, changed);
  }
}

}  // namespace
}  // namespace vaxo_core::config

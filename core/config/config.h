// Config: the compile options of one compilation, read-only while it runs.
#pragma once

#include <cstdint>

namespace vaxo_core::config {

enum class InputMode : std::uint8_t { Script = 0, Template = 1 };

enum class DiagnosticPositionEncoding : std::uint8_t { None = 0, Utf8 = 1, Utf16 = 2, Utf32 = 3 };

struct Config {
  InputMode input_mode = InputMode::Script;
  DiagnosticPositionEncoding diagnostic_position_encoding = DiagnosticPositionEncoding::Utf8;
  bool diagnostic_error = true;
  bool diagnostic_warning = true;
  bool diagnostic_info = true;
  bool diagnostic_hint = true;
  bool diagnostic_reference = true;
  bool diagnostic_tag = false;
  bool diagnostic_sourcemap = false;

  static constexpr Config make() { return Config{}; }

  friend constexpr bool operator==(const Config&, const Config&) = default;
};

}  // namespace vaxo_core::config

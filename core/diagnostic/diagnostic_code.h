// DiagnosticCode: the closed vocabulary of everything the compiler reports.
// The numeric value decides the category; names and messages come from one
// table (diagnostic_code.def) so that nothing can drift out of step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/diagnostic/internal_error.h"

namespace vaxo_core::diagnostic {

enum class DiagnosticCode : std::uint16_t {
#define X(name, value, message) name = value,
#include "core/diagnostic/diagnostic_code.def"
#undef X
};

inline constexpr std::size_t kDiagnosticCodeCount = 0
#define X(name, value, message) +1
#include "core/diagnostic/diagnostic_code.def"
#undef X
    ;
static_assert(kDiagnosticCodeCount == 175);

struct DiagnosticCodeInfo {
  DiagnosticCode code;
  std::string_view name;
  const char* message;  // nullptr when the code has no message
  bool has_message;
};

namespace detail {
// Decided by overload, so no pointer is compared in a constant expression.
constexpr bool is_text(std::nullptr_t) { return false; }
constexpr bool is_text(const char*) { return true; }
}  // namespace detail

inline constexpr DiagnosticCodeInfo kDiagnosticCodes[] = {
#define X(name, value, message) {DiagnosticCode::name, #name, message, detail::is_text(message)},
#include "core/diagnostic/diagnostic_code.def"
#undef X
};

constexpr std::uint16_t code(DiagnosticCode c) { return static_cast<std::uint16_t>(c); }

// The table index of a declared code; kDiagnosticCodeCount for any other number.
constexpr std::size_t find_code_index(std::uint16_t value) {
  // The table is ascending by value: bisect.
  std::size_t lo = 0, hi = kDiagnosticCodeCount;
  while (lo < hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    std::uint16_t v = code(kDiagnosticCodes[mid].code);
    if (v == value) return mid;
    if (v < value) lo = mid + 1; else hi = mid;
  }
  return kDiagnosticCodeCount;
}

constexpr std::optional<DiagnosticCode> from_repr(std::uint16_t value) {
  std::size_t i = find_code_index(value);
  if (i == kDiagnosticCodeCount) return std::nullopt;
  return kDiagnosticCodes[i].code;
}
// Same as from_repr; the absent result is the failure, which carries nothing.
constexpr std::optional<DiagnosticCode> try_from(std::uint16_t value) { return from_repr(value); }

// The entry of a code; a number cast into the enum without being declared is
// a broken invariant, not a crash.
constexpr const DiagnosticCodeInfo& code_info(DiagnosticCode c) {
  std::size_t i = find_code_index(code(c));
  if (i == kDiagnosticCodeCount) throw InternalError("Undeclared diagnostic code " + std::to_string(code(c)));
  return kDiagnosticCodes[i];
}

constexpr std::string_view name(DiagnosticCode c) { return code_info(c).name; }

constexpr std::optional<std::string_view> get_message(DiagnosticCode c) {
  const DiagnosticCodeInfo& info = code_info(c);
  if (!info.has_message) return std::nullopt;
  return std::string_view(info.message);
}
constexpr std::string_view message(DiagnosticCode c) {
  auto m = get_message(c);
  return m ? *m : std::string_view("Unknown error");
}

constexpr bool is_error(DiagnosticCode c) { return code(c) > 1000 && code(c) < 1999; }
constexpr bool is_warning(DiagnosticCode c) { return code(c) >= 2000 && code(c) < 2999; }
constexpr bool is_info(DiagnosticCode c) { return code(c) >= 3000 && code(c) < 3999; }
constexpr bool is_hint(DiagnosticCode c) { return code(c) >= 4000 && code(c) < 4999; }
constexpr bool is_reference(DiagnosticCode c) { return code(c) >= 5000 && code(c) < 5999; }
constexpr bool is_tag(DiagnosticCode c) { return code(c) >= 10000 && code(c) < 11999; }
constexpr bool is_sourcemap(DiagnosticCode c) { return code(c) == 12000; }

constexpr std::string_view level_str(DiagnosticCode c) {
  if (is_error(c)) return "Error";
  if (is_warning(c)) return "Warning";
  if (is_info(c)) return "Info";
  if (is_hint(c)) return "Hint";
  if (is_reference(c)) return "Reference";
  return "Unknown";
}

}  // namespace vaxo_core::diagnostic

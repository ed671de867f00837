// The golden-file harness every stage's golden test runs on.
//
// A case is tests/data/<folder>/{ok,err}/NAME.src (read as a script) or
// NAME.tpl (read as a template); NAME.expected beside it holds what the stage
// produces for it. A stage's test supplies only a Producer: the text to
// compare, the diagnostics the stage reports and any fault of its own
// invariants. For every case the harness then checks:
//   - the text against NAME.expected. With UPDATE_GOLDEN=1 it rewrites the
//     file instead, for review with `git diff`; unset, empty or 0 compares;
//     any other value fails, so a typo never passes for either;
//   - no error diagnostic in ok/, at least one in err/;
//   - every diagnostic range runs forwards, lies inside the text and, in
//     valid UTF-8, starts and ends on character boundaries;
//   - the producer found no fault;
// and, per folder, that no NAME.expected is left without its source.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/config.h"
#include "core/diagnostic/source_diagnostic.h"

namespace vaxo_core::golden {

enum class Group { Ok, Err };

struct Case {
  std::filesystem::path source;
  std::filesystem::path expected;
  Group group;
  config::InputMode mode;  // Template for NAME.tpl
  std::string text;

  std::string name() const { return source.stem().string(); }
};

struct Output {
  std::string dump;
  std::vector<diagnostic::SourceDiagnostic> diagnostics;
  std::string fault;  // empty when the stage's own invariants hold
};

using Producer = std::function<Output(const Case&)>;

// tests/data under the source tree (VAXO_SOURCE_DIR, from the environment
// or the build).
std::filesystem::path data_root();

std::string read_file(const std::filesystem::path& path);

// The mode a source file is read in, from its extension; none for a file
// that is no golden source.
std::optional<config::InputMode> source_mode(const std::filesystem::path& path);

// The cases of tests/data/<folder>/{ok,err}, sorted by path.
std::vector<Case> cases(std::string_view folder);

// Every golden source anywhere under tests/data, whatever the stage, sorted.
std::vector<Case> all_sources();

// Runs and checks every case of the folder (gtest failures, one trace per
// case); returns how many ran, so a test can pin a floor.
std::size_t run(std::string_view folder, const Producer& produce);

// Empty when the ranges are sound (see above); otherwise the first fault.
std::string check_ranges(std::string_view text, const std::vector<diagnostic::SourceDiagnostic>& diagnostics);

// "NAME a..b" per diagnostic, one a line, `indent` before each.
std::string list_diagnostics(const std::vector<diagnostic::SourceDiagnostic>& diagnostics, std::string_view indent);

}  // namespace vaxo_core::golden

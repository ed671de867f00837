// Golden-file helpers: every NAME.src under a data folder gets NAME.expected
// beside it. Run with UPDATE_GOLDEN=1 to rewrite the expected files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vaxo_core::parser::testing {

// The .src files directly under tests/data/<relative>, sorted by name.
std::vector<std::filesystem::path> golden_sources(const std::string& relative);

std::string read_file(const std::filesystem::path& path);

// Compares `actual` with the .expected file beside `source`, or rewrites it
// when UPDATE_GOLDEN is set. Returns an empty string on success, else a
// message for the failure.
std::string check_golden(const std::filesystem::path& source, const std::string& actual);

}  // namespace vaxo_core::parser::testing

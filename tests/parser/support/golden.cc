#include "tests/parser/support/golden.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vaxo_core::parser::testing {
namespace {

std::filesystem::path source_root() {
  if (const char* env = std::getenv("VAXO_SOURCE_DIR")) return env;
#ifdef VAXO_SOURCE_DIR
  return VAXO_SOURCE_DIR;
#else
  return ".";
#endif
}

}  // namespace

std::vector<std::filesystem::path> golden_sources(const std::string& relative) {
  std::vector<std::filesystem::path> out;
  std::filesystem::path dir = source_root() / "tests" / "data" / relative;
  if (!std::filesystem::is_directory(dir)) return out;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".src") out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string check_golden(const std::filesystem::path& source, const std::string& actual) {
  std::filesystem::path expected_path = source;
  expected_path.replace_extension(".expected");
  const char* update = std::getenv("UPDATE_GOLDEN");
  if (update != nullptr && *update != '\0' && std::string(update) != "0") {
    std::ofstream out(expected_path, std::ios::binary);
    out << actual;
    return {};
  }
  if (!std::filesystem::exists(expected_path)) return "missing " + expected_path.string() + " (run with UPDATE_GOLDEN=1)";
  std::string expected = read_file(expected_path);
  if (expected == actual) return {};
  return "golden mismatch for " + source.string() + "\n--- expected\n" + expected + "--- actual\n" + actual;
}

}  // namespace vaxo_core::parser::testing

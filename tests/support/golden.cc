#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "core/diagnostic/diagnostic_code.h"

namespace vaxo_core::golden {
namespace {

namespace fs = std::filesystem;

enum class Update { Compare, Rewrite, Invalid };

Update update_mode() {
  const char* v = std::getenv("UPDATE_GOLDEN");
  if (v == nullptr || *v == '\0' || std::string_view(v) == "0") return Update::Compare;
  if (std::string_view(v) == "1") return Update::Rewrite;
  return Update::Invalid;
}

std::string range_str(ByteRange r) { return std::to_string(r.start) + ".." + std::to_string(r.end); }

bool valid_utf8(std::string_view text) {
  for (std::size_t p = 0; p < text.size();) {
    auto b = static_cast<unsigned char>(text[p]);
    std::size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || p + len > text.size()) return false;
    for (std::size_t i = 1; i < len; ++i) {
      if ((static_cast<unsigned char>(text[p + i]) & 0xC0) != 0x80) return false;
    }
    p += len;
  }
  return true;
}

bool on_boundary(std::string_view text, std::size_t p) {
  return p == text.size() || (static_cast<unsigned char>(text[p]) & 0xC0) != 0x80;
}

// Adds the case of `path` when it is a golden source.
void add_case(const fs::directory_entry& entry, Group group, std::vector<Case>& out) {
  std::optional<config::InputMode> mode = source_mode(entry.path());
  if (!entry.is_regular_file() || !mode) return;
  fs::path expected = entry.path();
  expected.replace_extension(".expected");
  out.push_back(Case{entry.path(), expected, group, *mode, read_file(entry.path())});
}

void sort_cases(std::vector<Case>& cases) {
  std::sort(cases.begin(), cases.end(), [](const Case& a, const Case& b) { return a.source < b.source; });
}

// NAME.src and NAME.tpl would share NAME.expected; an expected file without
// a source is a case renamed or removed and left behind.
void check_pairing(const fs::path& dir, const std::vector<Case>& cases) {
  if (!fs::is_directory(dir)) return;
  std::map<fs::path, int> sources;
  for (const Case& c : cases) {
    if (c.source.parent_path() == dir) ++sources[c.expected];
  }
  for (const auto& [expected, n] : sources) EXPECT_EQ(n, 1) << "two sources share " << expected;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".expected") {
      EXPECT_TRUE(sources.count(entry.path())) << entry.path() << " has no source beside it";
    }
  }
}

}  // namespace

fs::path data_root() {
  if (const char* env = std::getenv("VAXO_SOURCE_DIR"); env != nullptr && *env != '\0') {
    return fs::path(env) / "tests" / "data";
  }
  return fs::path(VAXO_SOURCE_DIR) / "tests" / "data";
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::optional<config::InputMode> source_mode(const fs::path& path) {
  if (path.extension() == ".src") return config::InputMode::Script;
  if (path.extension() == ".tpl") return config::InputMode::Template;
  return std::nullopt;
}

std::vector<Case> cases(std::string_view folder) {
  std::vector<Case> out;
  for (Group group : {Group::Ok, Group::Err}) {
    fs::path dir = data_root() / folder / (group == Group::Ok ? "ok" : "err");
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) add_case(entry, group, out);
  }
  sort_cases(out);
  return out;
}

std::vector<Case> all_sources() {
  std::vector<Case> out;
  for (const auto& entry : fs::recursive_directory_iterator(data_root())) {
    add_case(entry, entry.path().parent_path().filename() == "err" ? Group::Err : Group::Ok, out);
  }
  sort_cases(out);
  return out;
}

std::string check_ranges(std::string_view text, const std::vector<diagnostic::SourceDiagnostic>& diagnostics) {
  const bool utf8 = valid_utf8(text);
  for (const auto& d : diagnostics) {
    const std::string what = std::string(diagnostic::name(d.error)) + " " + range_str(d.range);
    if (d.range.start > d.range.end) return what + " runs backwards";
    if (d.range.end > text.size()) return what + " runs past the text";
    if (utf8 && (!on_boundary(text, d.range.start) || !on_boundary(text, d.range.end))) {
      return what + " is off a character boundary";
    }
  }
  return {};
}

std::string list_diagnostics(const std::vector<diagnostic::SourceDiagnostic>& diagnostics, std::string_view indent) {
  std::string out;
  for (const auto& d : diagnostics) {
    out += std::string(indent) + std::string(diagnostic::name(d.error)) + " " + range_str(d.range) + "\n";
  }
  return out;
}

std::size_t run(std::string_view folder, const Producer& produce) {
  const Update update = update_mode();
  if (update == Update::Invalid) ADD_FAILURE() << "UPDATE_GOLDEN is 1 (rewrite) or unset, empty or 0 (compare)";
  std::vector<Case> all = cases(folder);
  EXPECT_FALSE(all.empty()) << "no golden cases under " << (data_root() / folder);
  check_pairing(data_root() / folder / "ok", all);
  check_pairing(data_root() / folder / "err", all);
  for (const Case& c : all) {
    SCOPED_TRACE(c.source.string());
    Output out = produce(c);
    EXPECT_EQ(out.fault, "");
    EXPECT_EQ(check_ranges(c.text, out.diagnostics), "");
    const bool has_error = std::any_of(out.diagnostics.begin(), out.diagnostics.end(),
                                       [](const auto& d) { return diagnostic::is_error(d.error); });
    if (c.group == Group::Ok) {
      EXPECT_FALSE(has_error) << "an ok/ case reports an error";
    } else {
      EXPECT_TRUE(has_error) << "an err/ case reports no error";
    }
    const bool exists = fs::exists(c.expected);
    if (update == Update::Rewrite) {
      if (!exists || read_file(c.expected) != out.dump) {
        std::ofstream(c.expected, std::ios::binary) << out.dump;
        std::printf("rewrote %s\n", c.expected.string().c_str());
      }
      continue;
    }
    if (!exists) {
      ADD_FAILURE() << "missing " << c.expected << " (run with UPDATE_GOLDEN=1)";
      continue;
    }
    EXPECT_EQ(read_file(c.expected), out.dump);
  }
  return all.size();
}

}  // namespace vaxo_core::golden

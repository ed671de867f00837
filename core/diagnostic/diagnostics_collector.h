// DiagnosticsCollector: the diagnostics of one compilation in arrival order,
// bound to the source text and the Config. It drops every diagnostic whose
// category the Config switches off; `push` also checks the range against the
// text, while entries moved in from tokens, tree nodes or another collector
// are only filtered.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ranges>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "core/config/config.h"
#include "core/diagnostic/diagnostic_code.h"
#include "core/diagnostic/source_diagnostic.h"

namespace vaxo_core::diagnostic {

class DiagnosticsCollector {
 public:
  using value_type = SourceDiagnostic;
  using iterator = std::vector<SourceDiagnostic>::iterator;
  using const_iterator = std::vector<SourceDiagnostic>::const_iterator;

  // Both are borrowed: they must outlive the collector.
  DiagnosticsCollector(const config::Config& config, std::string_view script)
      : config_(&config), script_(script) {}

  // Records `error` over `range`. A range that runs backwards or past the
  // text throws InternalError, even when the code would be filtered out.
  void push(DiagnosticCode error, ByteRange range) {
    if (range.start > range.end || range.end > script_.size()) [[unlikely]] {
      throw_invalid_range(error, range);
    }
    if (should_push(error)) data_.push_back(SourceDiagnostic{range, error});
  }

  bool should_push(DiagnosticCode error) const {
    const config::Config& c = *config_;
    if (is_error(error)) return c.diagnostic_error;
    if (is_warning(error)) return c.diagnostic_warning;
    if (is_info(error)) return c.diagnostic_info;
    if (is_hint(error)) return c.diagnostic_hint;
    if (is_reference(error)) return c.diagnostic_reference;
    if (is_tag(error)) return c.diagnostic_tag;
    if (is_sourcemap(error)) return c.diagnostic_sourcemap;
    return true;  // category markers belong to no switch
  }

  // Moves every entry out of `diagnostics` (left empty), keeping those that
  // pass the filter. No range check.
  void append(std::vector<SourceDiagnostic>& diagnostics) {
    if (&diagnostics == &data_) return;  // its own entries already passed the filter
    add_filtered(diagnostics);
    diagnostics.clear();
  }
  // The same for another contiguous list type (the tree's).
  template <typename List>
    requires(!std::same_as<List, std::vector<SourceDiagnostic>> &&
             std::same_as<typename List::value_type, SourceDiagnostic>)
  void append(List& diagnostics) {
    add_filtered(std::span<const SourceDiagnostic>(diagnostics.data(), diagnostics.size()));
    diagnostics.clear();
  }

  void extend(std::vector<SourceDiagnostic> diagnostics) { add_filtered(diagnostics); }

  // Takes the other collector's entries in order; its text and Config play no part.
  void extend(DiagnosticsCollector&& other) {
    if (&other == this) return;
    add_filtered(other.data_);
    other.data_.clear();
  }

  // A sequence of optional diagnostics; absent entries are skipped.
  template <std::ranges::input_range R>
    requires std::same_as<std::remove_cvref_t<std::ranges::range_reference_t<R>>,
                          std::optional<SourceDiagnostic>>
  void extend(R&& diagnostics) {
    for (auto&& d : diagnostics) {
      if (d && should_push(d->error)) data_.push_back(*d);
    }
  }

  // The words handed to the host; see encode_diagnostics.h.
  std::vector<std::uint32_t> encode() const;

  // True when a kept diagnostic is an error: the compilation then yields no chunk.
  bool has_error() const {
    for (const SourceDiagnostic& d : data_) {
      if (is_error(d.error)) return true;
    }
    return false;
  }

  std::string_view script() const { return script_; }
  const config::Config& config() const { return *config_; }

  const std::vector<SourceDiagnostic>& data() const& { return data_; }
  std::vector<SourceDiagnostic>& data() & { return data_; }
  // Consumes the collector into its diagnostics, in order.
  std::vector<SourceDiagnostic> data() && { return std::move(data_); }

  std::size_t size() const { return data_.size(); }
  bool empty() const { return data_.empty(); }
  SourceDiagnostic& operator[](std::size_t i) { return data_[i]; }
  const SourceDiagnostic& operator[](std::size_t i) const { return data_[i]; }
  iterator begin() { return data_.begin(); }
  iterator end() { return data_.end(); }
  const_iterator begin() const { return data_.begin(); }
  const_iterator end() const { return data_.end(); }

 private:
  void add_filtered(std::span<const SourceDiagnostic> diagnostics) {
    // No reserve here: many small appends would defeat geometric growth.
    for (const SourceDiagnostic& d : diagnostics) {
      if (should_push(d.error)) data_.push_back(d);
    }
  }

  [[noreturn]] static void throw_invalid_range(DiagnosticCode error, ByteRange range);

  std::vector<SourceDiagnostic> data_;
  const config::Config* config_;
  std::string_view script_;
};

}  // namespace vaxo_core::diagnostic

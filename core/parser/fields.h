// VAXO_FIELDS: declares a tree struct's parts in source order, once.
//
// The walker, the height bookkeeping and the dump iterate `fields()` instead
// of naming every part of every node again, so a new field cannot be missed by
// one of them. `field_names` is the same list as text, for the dump.
#pragma once

#include <string_view>
#include <tuple>

#define VAXO_FIELDS(...)                                   \
  auto fields() { return std::tie(__VA_ARGS__); }          \
  auto fields() const { return std::tie(__VA_ARGS__); }    \
  static constexpr std::string_view field_names = #__VA_ARGS__;

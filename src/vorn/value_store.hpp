// ValueStore: read access to one value and its children, the interface that
// condition and template evaluation are written against. DataView is the one
// implementation; the calls sit on hot paths, so this is a concept rather
// than a virtual interface.
//
// Also here: walking a ValuePath over a store, which reads only and
// allocates nothing.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "vorn/ir/path.hpp"

namespace vorn {

template <class S>
concept ValueStore = requires(const S& store, std::string_view name, std::size_t index) {
  { store.field(name) } -> std::same_as<std::optional<S>>;
  { store.element(index) } -> std::same_as<std::optional<S>>;
  { store.as_i64() } -> std::same_as<std::optional<std::int64_t>>;
  { store.as_str() } -> std::same_as<std::optional<std::string_view>>;
  { store.as_bool() } -> std::same_as<std::optional<bool>>;
};

// The value at `path` from `root`: a field lookup per Field segment, an
// element lookup per Index segment. Absent as soon as one step is.
template <ValueStore S>
std::optional<S> walk_path(const S& root, const ir::ValuePath& path) {
  std::optional<S> at = root;
  for (const ir::PathSegment& segment : path.segments) {
    if (const auto* field = std::get_if<ir::Field>(&segment)) {
      at = at->field(field->name);
    } else {
      at = at->element(std::get<ir::Index>(segment).index);
    }
    if (!at) return std::nullopt;
  }
  return at;
}

}  // namespace vorn

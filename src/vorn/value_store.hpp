// ValueStore: read access to one value and its children, the interface that
// condition and template evaluation are written against. DataView is the one
// implementation; the calls sit on hot paths, so this is a concept rather
// than a virtual interface.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vorn {

template <class S>
concept ValueStore = requires(const S& store, std::string_view name, std::size_t index) {
  { store.field(name) } -> std::same_as<std::optional<S>>;
  { store.element(index) } -> std::same_as<std::optional<S>>;
  { store.as_i64() } -> std::same_as<std::optional<std::int64_t>>;
  { store.as_str() } -> std::same_as<std::optional<std::string_view>>;
  { store.as_bool() } -> std::same_as<std::optional<bool>>;
};

}  // namespace vorn

// ValueStore: read access to one value and its children, the interface that
// condition and template evaluation are written against. DataView is the one
// implementation; the calls sit on hot paths, so this is a concept rather
// than a virtual interface.
//
// Also here: walking a ValuePath over a store, and deciding a Choice
// condition. Both read only and allocate nothing.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <variant>

#include "vorn/ir/condition.hpp"
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

// One Choice rule: an equality test of the value at the condition's path
// with a constant, with no coercion (the integer 3 is not the float 3.0,
// "ok" is not "OK", true is not 1). A path that does not resolve, or a value
// of another type, makes the rule false; it never fails.
template <ValueStore S>
bool evaluate_condition(const ir::ConditionIr& condition, const S& root) {
  return std::visit(
      [&root](const auto& test) {
        const std::optional<S> value = walk_path(root, test.path);
        if (!value) return false;
        using Test = std::decay_t<decltype(test)>;
        if constexpr (std::is_same_v<Test, ir::NumericEqualsCond>) {
          return value->as_i64() == test.value;
        } else if constexpr (std::is_same_v<Test, ir::StringEqualsCond>) {
          return value->as_str() == test.value;
        } else {
          return value->as_bool() == test.value;
        }
      },
      condition.kind);
}

}  // namespace vorn

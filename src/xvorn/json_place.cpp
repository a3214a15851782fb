#include "json_place.hpp"

namespace xvorn {

namespace {

using vorn::json::Value;

// The container the last step writes into, found by walking all steps but
// the last; null when the place cannot be reached. Iterative, so paths of
// any length are safe.
template <class V>
V* parent_of_place(V& root, std::span<const Segment> segments) {
  V* current = &root;
  for (const Segment& segment : segments.first(segments.size() - 1)) {
    if (const auto* field = std::get_if<Field>(&segment)) {
      if (!current->is_object()) return nullptr;
      current = current->as_object().find(field->name);
    } else {
      const std::uint64_t index = std::get<Index>(segment).index;
      if (!current->is_array() || index >= current->as_array().size()) return nullptr;
      current = &current->as_array()[index];
    }
    if (current == nullptr) return nullptr;
  }
  const Segment& last = segments.back();
  if (std::holds_alternative<Field>(last)) return current->is_object() ? current : nullptr;
  return current->is_array() && std::get<Index>(last).index < current->as_array().size()
             ? current
             : nullptr;
}

}  // namespace

std::optional<Value> json_place(const Value& root, std::span<const Segment> segments,
                                Value value) {
  if (segments.empty()) return value;
  // Copy only once the place is known to be reachable.
  if (parent_of_place(root, segments) == nullptr) return std::nullopt;
  return json_place(Value(root), segments, std::move(value));
}

std::optional<Value> json_place(Value&& root, std::span<const Segment> segments, Value value) {
  if (segments.empty()) return value;
  Value* parent = parent_of_place(root, segments);
  if (parent == nullptr) return std::nullopt;
  if (const auto* field = std::get_if<Field>(&segments.back())) {
    parent->as_object().set(field->name, std::move(value));
  } else {
    parent->as_array()[std::get<Index>(segments.back()).index] = std::move(value);
  }
  return std::move(root);
}

}  // namespace xvorn

#include "placement.hpp"

namespace vorn::aws {

namespace {

std::string with_article(Kind kind) {
  const std::string_view name = kind_name(kind);
  return (name[0] == 'a' || name[0] == 'o' ? "an " : "a ") + std::string(name);
}

}  // namespace

std::string to_string(const PlacementError& error) {
  std::string cause = "Invalid path '" + error.path + "' : ";
  switch (error.kind) {
    case PlacementError::Kind::kNotReferencePath:
      return cause + "A result can only be placed at a reference path";
    case PlacementError::Kind::kNotAnObject:
      return cause + "Expected to find an object with property " + error.step + " in path " +
             error.at + " but found " + with_article(error.found);
    case PlacementError::Kind::kNotAnArray:
      return cause + "Expected to find an array with index " + error.step + " in path " +
             error.at + " but found " + with_article(error.found);
    case PlacementError::Kind::kIndexOutOfRange:
      return cause + "Index out of bounds when evaluating path " + error.at + error.step;
  }
  return cause;
}

Result<Value, PlacementError> place(const Value& input, const JsonPath& path, Value value) {
  const std::string text(path.text());
  if (path.is_context() || !path.is_definite()) {
    return fail(PlacementError{PlacementError::Kind::kNotReferencePath, text, "$", {}, Kind::kNull});
  }
  const auto& steps = path.steps();
  if (steps.empty()) return value;
  Value out = input;  // shares everything; each step below takes its own copy
  Value* current = &out;
  std::string at = "$";
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const PathStep& s = steps[i];
    const bool last = i + 1 == steps.size();
    if (s.kind == PathStep::Kind::kMember) {
      const std::string& key = s.names[0];
      if (!current->is_object()) {
        return fail(PlacementError{PlacementError::Kind::kNotAnObject, text, at,
                                   bracket_member(key), current->kind()});
      }
      const bool existed = current->find(key) != nullptr;
      Value& slot = current->member_for_write(key);
      if (last) {
        slot = std::move(value);
        return out;
      }
      if (!existed) slot = Value::object();  // missing objects on the way are made
      at += bracket_member(key);
      current = &slot;
    } else {
      const std::int64_t index = s.indices[0];
      if (!current->is_array()) {
        return fail(PlacementError{PlacementError::Kind::kNotAnArray, text, at,
                                   bracket_index(index), current->kind()});
      }
      const std::span<Value> items = current->mutable_items();
      const auto size = static_cast<std::int64_t>(items.size());
      const std::int64_t resolved = index < 0 ? index + size : index;
      if (resolved < 0 || resolved >= size) {
        return fail(PlacementError{PlacementError::Kind::kIndexOutOfRange, text, at,
                                   bracket_index(index), Kind::kArray});
      }
      Value& slot = items[static_cast<std::size_t>(resolved)];
      if (last) {
        slot = std::move(value);
        return out;
      }
      at += bracket_index(index);
      current = &slot;
    }
  }
  return out;
}

}  // namespace vorn::aws

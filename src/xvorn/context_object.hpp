// The context object: the document `$$` paths are resolved against, with
// facts about the execution and the current state plus free-form
// configuration. Its shape is always
//
//   {"config": {...}, "execution": {"id": ..., "start_time": ...},
//    "state": {"name": ...}}
//
// with the three top-level objects always present and each inner member
// only when it was given. Nothing is validated: the start time is stored as
// given, not parsed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "json/value.hpp"

namespace xvorn {

// Collects the members of the three objects; setting a member twice keeps
// the last value. Setters return the builder so calls chain.
class ContextObjectBuilder {
 public:
  ContextObjectBuilder& execution_id(std::string id);
  ContextObjectBuilder& execution_start_time(std::string time);
  ContextObjectBuilder& state_name(std::string name);
  ContextObjectBuilder& config_entry(std::string key, vorn::json::Value value);

  // The context value; the builder may go on being used.
  vorn::json::Value build() const;

 private:
  vorn::json::Object config_;
  vorn::json::Object execution_;
  vorn::json::Object state_;
};

// Owns one context value. Only the state name changes after building.
class ContextObject {
 public:
  explicit ContextObject(vorn::json::Value value) : value_(std::move(value)) {}

  const vorn::json::Value& value() const { return value_; }

  // The string at "state"."name", or nullopt when the value does not have
  // that shape. The view lives until the name is changed.
  std::optional<std::string_view> state_name() const;

  // Sets "state"."name", inserting an empty "state" object when the key is
  // missing. A value that is not an object, or whose "state" is not an
  // object, is left as it is.
  void set_state_name(std::string name);

 private:
  vorn::json::Value value_;
};

}  // namespace xvorn

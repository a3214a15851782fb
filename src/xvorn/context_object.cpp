#include "context_object.hpp"

namespace xvorn {

using vorn::json::Object;
using vorn::json::Value;

ContextObjectBuilder& ContextObjectBuilder::execution_id(std::string id) {
  execution_.set("id", Value(std::move(id)));
  return *this;
}

ContextObjectBuilder& ContextObjectBuilder::execution_start_time(std::string time) {
  execution_.set("start_time", Value(std::move(time)));
  return *this;
}

ContextObjectBuilder& ContextObjectBuilder::state_name(std::string name) {
  state_.set("name", Value(std::move(name)));
  return *this;
}

ContextObjectBuilder& ContextObjectBuilder::config_entry(std::string key, Value value) {
  config_.set(std::move(key), std::move(value));
  return *this;
}

Value ContextObjectBuilder::build() const {
  Object context;
  context.set("config", Value(config_));
  context.set("execution", Value(execution_));
  context.set("state", Value(state_));
  return Value(std::move(context));
}

std::optional<std::string_view> ContextObject::state_name() const {
  if (!value_.is_object()) return std::nullopt;
  const Value* state = value_.as_object().find("state");
  if (state == nullptr || !state->is_object()) return std::nullopt;
  const Value* name = state->as_object().find("name");
  if (name == nullptr || !name->is_string()) return std::nullopt;
  return std::string_view(name->as_string());
}

void ContextObject::set_state_name(std::string name) {
  if (!value_.is_object()) return;
  Object& context = value_.as_object();
  Value* state = context.find("state");
  if (state == nullptr) {
    context.set("state", Value(Object()));
    state = context.find("state");
  }
  if (!state->is_object()) return;
  state->as_object().set("name", Value(std::move(name)));
}

}  // namespace xvorn

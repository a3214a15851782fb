#include "validation_error.hpp"

#include "float_text.hpp"
#include "base/overloaded.hpp"

namespace vorn::build {

namespace {

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  out.append(text);
  out.push_back('"');
  return out;
}

}  // namespace

std::string to_string(const ValidationError& error) {
  using E = ValidationError;
  const std::string where = error.location.empty() ? "at root" : "in " + error.location;
  std::string text = std::visit(
      Overloaded{
          [&](const E::EmptyStates&) { return "states must not be empty " + where; },
          [&](const E::StartAtNotFound& k) {
            return "StartAt references unknown state " + quoted(k.name) + " " + where;
          },
          [&](const E::NextAndEnd&) { return "must not specify both Next and End " + where; },
          [&](const E::NoNextOrEnd&) { return "must specify either Next or End " + where; },
          [&](const E::EmptyResource&) { return "resource must be non-empty " + where; },
          [&](const E::InvalidPath& k) { return "invalid path " + quoted(k.path) + " " + where; },
          [&](const E::EmptyChoices&) { return "Choices array must not be empty " + where; },
          [&](const E::InvalidVariable& k) {
            return "invalid variable " + quoted(k.variable) + " " + where;
          },
          [&](const E::DuplicateBranch& k) {
            return "duplicate branch for " + k.description + " " + where;
          },
          [&](const E::TransitionNotFound& k) {
            return "transitions to unknown state " + quoted(k.target) + " " + where;
          },
          [&](const E::EmptyErrorEquals&) { return "ErrorEquals must not be empty " + where; },
          [&](const E::InvalidMaxAttempts& k) {
            return "MaxAttempts must be >= 1, found " + std::to_string(k.found) + " " + where;
          },
          [&](const E::InvalidBackoffRate& k) {
            return "BackoffRate must be >= 1.0, found " + shortest_float_text(k.found) + " " +
                   where;
          },
          [&](const E::NonUniformArray&) {
            return "array elements must have uniform types " + where;
          },
          [&](const E::IncompatibleSchema& k) {
            return "schema of " + quoted(k.first) + " is incompatible with " + quoted(k.second) +
                   " " + where;
          },
          [&](const E::UnresolvableConditionPath& k) {
            return "condition path " + quoted(k.path) + " unresolvable against input schema " +
                   where + "\n  State: " + k.state;
          },
          [&](const E::TemplateNotObject&) { return "template must be a JSON object " + where; },
          [&](const E::InvalidTemplateReference& k) {
            return "invalid template reference key " + quoted(k.key) + " " + where + ": " +
                   k.reason;
          },
          [&](const E::ConflictingTemplateKeys& k) {
            return "template has conflicting keys " + quoted(k.key) + " and " +
                   quoted(k.key + ".$") + " " + where;
          },
          [&](const E::LimitExceeded& k) { return k.what + " (" + k.detail + ") " + where; },
      },
      error.kind);
  if (error.value) {
    text += "\n  Value: ";
    text += *error.value;
  }
  if (error.hint) {
    text += "\n  Hint: ";
    text += *error.hint;
  }
  return text;
}

}  // namespace vorn::build

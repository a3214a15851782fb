#include "aws_build/messages.hpp"

#include <cstdio>
#include <cstdlib>


namespace vorn::aws::message {

namespace {

std::string listed(std::initializer_list<std::string_view> items) {
  std::string text = "[";
  bool first = true;
  for (std::string_view item : items) {
    if (!first) text += ", ";
    first = false;
    text += item;
  }
  text += ']';
  return text;
}

std::string quoted(std::string_view field) {
  std::string text = "'";
  text += field;
  text += '\'';
  return text;
}

// Shortest text that reads back as the bound ("1", "0.5").
std::string number_text(double value) {
  char buffer[32];
  if (value == static_cast<double>(static_cast<long long>(value))) {
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    return buffer;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

}  // namespace

std::string json_source_location(std::string_view text, std::size_t line, std::size_t column) {
  constexpr std::size_t kShown = 500;
  std::size_t characters = 0, cut = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters == kShown) {
      cut = i;
      break;
    }
    ++characters;
  }
  std::size_t hidden = 0;
  for (std::size_t i = cut; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++hidden;
  }
  std::string out = "[Source: (String)\"";
  out += text.substr(0, cut);
  out += '"';
  if (hidden > 0) out += "[truncated " + std::to_string(hidden) + " chars]";
  out += "; line: " + std::to_string(line) + ", column: " + std::to_string(column) + "]";
  return out;
}

std::string too_deeply_nested(std::size_t limit) {
  return "The definition nests deeper than " + std::to_string(limit) + " levels";
}

std::string definition_not_object() { return "Definition must be a valid JSON object"; }

std::string fields_required(std::initializer_list<std::string_view> fields) {
  return "These fields are required: " + listed(fields);
}

std::string one_field_required(std::initializer_list<std::string_view> fields) {
  return "One of these fields is required: " + listed(fields);
}

std::string field_not_supported(std::string_view field) {
  return "Field " + quoted(field) + " is not supported";
}

std::string fields_exclusive(std::string_view first, std::string_view second) {
  return "The fields " + quoted(first) + " and " + quoted(second) + " cannot both be set";
}

std::string exactly_one_field(std::initializer_list<std::string_view> fields) {
  return "Exactly one of these fields is required: " + listed(fields);
}

std::string field_values(std::string_view field, std::initializer_list<std::string_view> values) {
  return "The field " + quoted(field) + " should have one of these values: " + listed(values);
}

std::string state_type_values() {
  return field_values("Type", {"Task", "Wait", "Pass", "Succeed", "Fail", "Choice", "Parallel",
                               "Map"});
}

std::string wrong_type(std::string_view field, std::string_view kind) {
  return "The field " + quoted(field) + " must be " + std::string(kind);
}

std::string element_wrong_type(std::string_view kind) {
  return "The value must be " + std::string(kind);
}

std::string integer_at_least(std::string_view field, long long minimum) {
  return "The field " + quoted(field) + " must be an integer of at least " +
         std::to_string(minimum);
}

std::string integer_between(std::string_view field, long long minimum, long long maximum) {
  return "The field " + quoted(field) + " must be an integer between " + std::to_string(minimum) +
         " and " + std::to_string(maximum);
}

std::string number_at_least(std::string_view field, double minimum) {
  return "The field " + quoted(field) + " must be a number of at least " + number_text(minimum);
}

std::string number_between(std::string_view field, double minimum, double maximum) {
  return "The field " + quoted(field) + " must be a number between " + number_text(minimum) +
         " and " + number_text(maximum);
}

std::string heartbeat_not_below_timeout() {
  return "The field 'HeartbeatSeconds' must be smaller than the field 'TimeoutSeconds'";
}

std::string value_cannot_be_empty() { return "Value cannot be empty"; }

std::string string_cannot_be_empty(std::string_view field) {
  return "The field " + quoted(field) + " cannot be empty";
}

std::string field_required_missing(std::string_view field) {
  return "The field " + quoted(field) + " is required but was missing";
}

std::string missing_target(std::string_view name) {
  return "Missing 'Next' target: " + std::string(name);
}

std::string not_reachable(std::string_view name) {
  return "State \"" + std::string(name) + "\" is not reachable.";
}

std::string no_terminal_state() { return "Workflow has no terminal state"; }

std::string duplicate_state_name(std::string_view name) {
  return "Duplicate State name: " + std::string(name);
}

std::string state_name_length(std::size_t limit) {
  return "State names must be between 1 and " + std::to_string(limit) + " characters long";
}

std::string invalid_path(std::string_view field) {
  return "The value for the field " + quoted(field) + " must be a valid JSONPath";
}

std::string invalid_reference_path(std::string_view field) {
  return "The value for the field " + quoted(field) + " must be a valid ReferencePath";
}

std::string invalid_reference_path_or_intrinsic(std::string_view field) {
  return "The value for the field " + quoted(field) +
         " must be a valid ReferencePath or a valid intrinsic function call";
}

std::string not_rfc3339_timestamp() { return "String does not match RFC3339 timestamp"; }

std::string states_all_not_alone() {
  return "'States.ALL' must be the only error name in the field 'ErrorEquals'";
}

std::string states_all_not_last(std::string_view field) {
  return "A rule with 'States.ALL' must be the last one in the field " + quoted(field);
}

std::string label_length(std::size_t limit) {
  return "The field 'Label' must be between 1 and " + std::to_string(limit) + " characters long";
}

std::string label_character(char character) {
  std::string text = "The field 'Label' must not contain ";
  if (character == 0) {
    text += "control characters";
  } else {
    text += "the character '";
    text += character;
    text += '\'';
  }
  return text;
}

std::string query_language_downgrade() {
  return "'QueryLanguage' can not be 'JSONPath' if set to 'JSONata' for whole state machine";
}

std::string unsupported_feature(std::string_view feature) {
  return std::string(feature) + " is not supported by pyvorn yet";
}

std::string no_dollar(std::string_view key) {
  return "The value for the field " + quoted(key) +
         " looks like a JSONPath or an intrinsic function call, but is taken as a literal: name "
         "the field " + quoted(std::string(key) + ".$") + " to evaluate it";
}

std::string pass_result_is_static(std::string_view key) {
  return "The field " + quoted(key) +
         " in 'Result' is copied as written: 'Result' is never evaluated; use 'Parameters' to "
         "evaluate it";
}

}  // namespace vorn::aws::message

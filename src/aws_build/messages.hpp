// Every text the checker writes, built here and nowhere else, so a wording
// is changed (or compared with AWS's) in one place. Texts AWS has been seen
// to write are copied exactly; the others follow their style.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vorn::aws::message {

// Jackson's "[Source: (String)"<text>"; line: L, column: C]", the text cut
// after 500 characters as Jackson cuts it.
std::string json_source_location(std::string_view text, std::size_t line, std::size_t column);
std::string too_deeply_nested(std::size_t limit);
std::string definition_not_object();

std::string fields_required(std::initializer_list<std::string_view> fields);
std::string one_field_required(std::initializer_list<std::string_view> fields);
std::string field_not_supported(std::string_view field);
std::string fields_exclusive(std::string_view first, std::string_view second);
std::string exactly_one_field(std::initializer_list<std::string_view> fields);
std::string field_values(std::string_view field, std::initializer_list<std::string_view> values);
std::string state_type_values();

// kind: "a string", "an integer", "a number", "a boolean", "an object", "an array".
std::string wrong_type(std::string_view field, std::string_view kind);
std::string element_wrong_type(std::string_view kind);
std::string integer_at_least(std::string_view field, long long minimum);
std::string integer_between(std::string_view field, long long minimum, long long maximum);
std::string number_at_least(std::string_view field, double minimum);
std::string number_between(std::string_view field, double minimum, double maximum);
std::string heartbeat_not_below_timeout();
std::string value_cannot_be_empty();
std::string string_cannot_be_empty(std::string_view field);
std::string field_required_missing(std::string_view field);

std::string missing_target(std::string_view name);
std::string not_reachable(std::string_view name);
std::string no_terminal_state();
std::string duplicate_state_name(std::string_view name);
std::string state_name_length(std::size_t limit);

std::string invalid_path(std::string_view field);
std::string invalid_reference_path(std::string_view field);
std::string invalid_reference_path_or_intrinsic(std::string_view field);
std::string not_rfc3339_timestamp();

std::string states_all_not_alone();
std::string states_all_not_last(std::string_view field);

std::string label_length(std::size_t limit);
// `character` 0 stands for any control character.
std::string label_character(char character);

std::string query_language_downgrade();
std::string unsupported_feature(std::string_view feature);
std::string no_dollar(std::string_view key);
std::string pass_result_is_static(std::string_view key);

}  // namespace vorn::aws::message

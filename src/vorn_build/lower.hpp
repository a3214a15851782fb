// Lowering: a validated definition becomes a LoweredStateMachine, with states
// numbered in name order, handlers numbered by their distinct resources in
// byte order, Choice rules numbered across the machine, a schema table of the
// static Pass data (the opaque schema first), paths split into segments and
// template literals and Pass results encoded.
//
// Lowering trusts the validator: on a definition it has accepted, every name
// resolves, every template is an object with string references, and all data
// fits the binary format. It has no error results.
#pragma once

#include <optional>

#include "ast.hpp"
#include "json/value.hpp"
#include "lowered.hpp"
#include "static_data.hpp"

namespace vorn::build {

LoweredStateMachine lower(const AslAst& ast);

// lower(), taking the encodings of the static data that validation made
// (validate(ast, encoded)) instead of encoding the same values again.
LoweredStateMachine lower(const AslAst& ast, EncodedStaticData encoded);

// A template's members in key order: keys ending in ".$" (at least two bytes)
// become references to the path they hold, every other member a literal with
// its value encoded. Nested data is literal, ".$" keys inside it included.
std::optional<LoweredTemplate> lower_opt_template(const std::optional<json::Value>& template_value);

// Defaults of a Retry entry without the field.
inline constexpr std::uint32_t kDefaultMaxAttempts = 3;
inline constexpr std::uint32_t kDefaultIntervalMs = 1000;
inline constexpr float kDefaultBackoffRate = 2.0f;

}  // namespace vorn::build

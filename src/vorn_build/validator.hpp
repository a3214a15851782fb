// The rules a parsed definition must keep beyond its shape: it has states,
// every transition names one of them, every state continues or ends in exactly
// one way, paths and templates are well formed, Choice branches are distinct,
// Retry and Catch entries are sensible and static Pass data has uniform arrays.
//
// validate() checks them in seven steps, each over all states in name order:
//   1. States is not empty;         2. StartAt names a state;
//   3. per-state fields;            4. Next and Default targets;
//   5. Choice variables and branch distinctness;
//   6. Retry then Catch entries;    7. Pass Result and Parameters data.
// The first violation is the one reported, so the same definition always
// yields the same error. Lowering relies on these rules and does not check
// them again.
#pragma once

#include <string_view>

#include "ast.hpp"
#include "base/result.hpp"
#include "json/value.hpp"
#include "static_data.hpp"
#include "validation_error.hpp"

namespace vorn::build {

Result<void, ValidationError> validate(const AslAst& ast);

// validate(), keeping the encodings of the static data that its last step
// makes to check that they fit, for lower() to use instead of encoding the
// same values again. `encoded` is complete only when validation succeeds.
Result<void, ValidationError> validate(const AslAst& ast, EncodedStaticData& encoded);

// Accepts "$" and anything beginning with "$."; otherwise InvalidPath at
// "{prefix}.{field}".
Result<void, ValidationError> validate_jsonpath(std::string_view prefix, std::string_view field,
                                                std::string_view path);

// `template_value` under `field` ("Parameters" or "ResultSelector") of the
// state at `state_location`. Only its top level is a template: each key of at
// least two bytes ending in ".$" must hold a valid path string and must not
// have a plain twin (the key without ".$"); nested data is not looked at.
Result<void, ValidationError> validate_template(std::string_view state_location,
                                                std::string_view field,
                                                const json::Value& template_value);

// Accepts `target` when the definition has a state of exactly that name;
// otherwise TransitionNotFound at "{state_location}.{field}".
Result<void, ValidationError> check_state_ref(std::string_view state_location,
                                              std::string_view field, std::string_view target,
                                              const AslAst& ast);

}  // namespace vorn::build

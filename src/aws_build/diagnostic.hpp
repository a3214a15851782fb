// Diagnostic: one problem the checker found in a definition, in the shape
// AWS's ValidateStateMachineDefinition reports it, plus where the offending
// value starts in the text.
//
// `location` is AWS's slash path from the definition's root ("/",
// "/States/A/Next", "/States/P/Branches[0]/States/B", "/States/C/Choices[1]")
// or, for a JSON fault, Jackson's "[Source: ...; line: L, column: C]"; empty
// when AWS gives none. `line` and `column` are 1-based (columns count code
// points); 0 when the diagnostic points at no value (an empty text).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::aws {

enum class Severity : unsigned char { kError, kWarning };

// "ERROR", "WARNING".
std::string_view severity_name(Severity severity);

struct Diagnostic {
  Severity severity = Severity::kError;
  std::string code;  // AWS's code, e.g. "SCHEMA_VALIDATION_FAILED"
  std::string message;
  std::string location;
  std::size_t line = 0;
  std::size_t column = 0;
  friend bool operator==(const Diagnostic&, const Diagnostic&) = default;
};

// The codes this dialect emits. AWS's own, except kUnsupportedFeature: a
// definition AWS accepts but that uses what this toolkit cannot run.
namespace code {
inline constexpr std::string_view kInvalidJson = "INVALID_JSON_DESCRIPTION";
inline constexpr std::string_view kSchema = "SCHEMA_VALIDATION_FAILED";
inline constexpr std::string_view kMissingTarget = "MISSING_TRANSITION_TARGET";
inline constexpr std::string_view kMissingEndState = "MISSING_END_STATE";
inline constexpr std::string_view kDuplicateStateName = "DUPLICATE_STATE_NAME";
inline constexpr std::string_view kInvalidStateName = "INVALID_STATE_NAME";
inline constexpr std::string_view kInvalidLabelName = "INVALID_LABEL_NAME";
inline constexpr std::string_view kTooDeeplyNested = "TOO_DEEPLY_NESTED";
inline constexpr std::string_view kNoDollar = "NO_DOLLAR";
inline constexpr std::string_view kNoPath = "NO_PATH";
inline constexpr std::string_view kPassResultIsStatic = "PASS_RESULT_IS_STATIC";
inline constexpr std::string_view kUnsupportedFeature = "UNSUPPORTED_FEATURE";
}  // namespace code

bool has_errors(const std::vector<Diagnostic>& diagnostics);

// The message of AWS's InvalidDefinition refusal, built from the errors only
// (warnings never refuse a definition):
// "Invalid State Machine Definition: 'CODE: message at location, ...'".
// A diagnostic without a location reads "... at null", as AWS writes it.
std::string invalid_definition_message(const std::vector<Diagnostic>& diagnostics);

}  // namespace vorn::aws

// The one error the validator reports: where (a location such as
// "States.Fetch.Retry[0].MaxAttempts", empty for the definition as a whole),
// what is wrong, the offending value as text when there is one, and a fixed
// repair hint. It owns its texts; hints point at the constants below.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vorn::build {

struct ValidationError {
  struct EmptyStates {};
  struct StartAtNotFound {
    std::string name;
  };
  struct NextAndEnd {};
  struct NoNextOrEnd {};
  struct EmptyResource {};
  struct InvalidPath {
    std::string path;
  };
  struct EmptyChoices {};
  struct InvalidVariable {
    std::string variable;
  };
  // Two branches of one Choice state compare with the same operator and value.
  struct DuplicateBranch {
    std::string description;
  };
  struct TransitionNotFound {
    std::string target;
  };
  struct EmptyErrorEquals {};
  struct InvalidMaxAttempts {
    std::uint32_t found;
  };
  struct InvalidBackoffRate {
    float found;
  };
  struct NonUniformArray {};
  // No rule reports the next two yet; they render like the others.
  struct IncompatibleSchema {
    std::string first;
    std::string second;
  };
  struct UnresolvableConditionPath {
    std::string state;
    std::string path;
  };
  struct TemplateNotObject {};
  struct InvalidTemplateReference {
    std::string key;
    std::string reason;
  };
  // `key` is the plain key, without the ".$" of its reference twin.
  struct ConflictingTemplateKeys {
    std::string key;
  };
  // The machine or its static data does not fit the 16-bit ids or the
  // 16-bit fields of the binary value format. `what` names what is too large
  // ("too many states", "Result too large for the binary value format"),
  // `detail` by how much.
  struct LimitExceeded {
    std::string what;
    std::string detail;
  };
  // The order is part of the interface: new kinds go at the end.
  using Kind =
      std::variant<EmptyStates, StartAtNotFound, NextAndEnd, NoNextOrEnd, EmptyResource,
                   InvalidPath, EmptyChoices, InvalidVariable, DuplicateBranch, TransitionNotFound,
                   EmptyErrorEquals, InvalidMaxAttempts, InvalidBackoffRate, NonUniformArray,
                   IncompatibleSchema, UnresolvableConditionPath, TemplateNotObject,
                   InvalidTemplateReference, ConflictingTemplateKeys, LimitExceeded>;

  std::string location;
  std::optional<std::string> value;
  Kind kind;
  std::optional<std::string_view> hint;
};

// The repair hints a rule may attach.
namespace hints {
inline constexpr std::string_view kEmptyStates = "Add at least one state to the States object.";
inline constexpr std::string_view kStartAtNotFound =
    "StartAt must reference a state defined in States.";
inline constexpr std::string_view kNextAndEnd = "Remove either Next or End.";
inline constexpr std::string_view kNoNextOrEnd =
    "Add either \"Next\": \"<state>\" or \"End\": true.";
inline constexpr std::string_view kEmptyResource =
    "Resource must be a non-empty string identifying the handler.";
inline constexpr std::string_view kInvalidPath = "Paths must begin with \"$\" or \"$.\".";
inline constexpr std::string_view kEmptyChoices = "Add at least one choice rule.";
inline constexpr std::string_view kInvalidVariable = "Variable must begin with \"$\" or \"$.\".";
inline constexpr std::string_view kDuplicateBranch =
    "Each branch must have a unique operator and value combination.";
inline constexpr std::string_view kEmptyErrorEquals =
    "ErrorEquals must contain at least one error name.";
inline constexpr std::string_view kInvalidMaxAttempts = "MaxAttempts must be at least 1.";
inline constexpr std::string_view kInvalidBackoffRate = "BackoffRate must be at least 1.0.";
inline constexpr std::string_view kNonUniformArray =
    "Array elements must all have the same structure.";
inline constexpr std::string_view kTemplateNotObject =
    "Parameters and ResultSelector must be JSON objects.";
inline constexpr std::string_view kInvalidTemplateReference =
    "Template reference keys (ending in \".$\") must have string values.";
inline constexpr std::string_view kConflictingTemplateKeys =
    "A template cannot have both \"key\" and \"key.$\".";
inline constexpr std::string_view kLimitExceeded =
    "Split the machine or its static data into smaller parts.";
}  // namespace hints

// The message users see: the kind's line, then "\n  Value: ..." and
// "\n  Hint: ..." when present, e.g.
//   MaxAttempts must be >= 1, found 0 in States.Fetch.Retry[0].MaxAttempts
//     Value: 0
//     Hint: MaxAttempts must be at least 1.
std::string to_string(const ValidationError& error);

}  // namespace vorn::build

// The one error the definition parser reports: where (a location path such as
// "States.A.Retry[0]", empty for the top level) and what went wrong.
#pragma once

#include <string>
#include <variant>

namespace vorn::build {

struct ParseError {
  // The definition text is not JSON; `message` is the reader's own text,
  // which already ends with the line and column of the fault.
  struct InvalidJson {
    std::string message;
  };
  // A state's Type is none of the five supported ones.
  struct UnsupportedStateType {
    std::string type;
  };
  // An object holds a key that is not allowed at its place.
  struct UnknownField {
    std::string key;
  };
  // A required key is absent (or a choice rule has no operator).
  struct MissingRequiredField {
    std::string name;
  };
  // A value has the wrong JSON type.
  struct InvalidField {
    std::string field;
    std::string expected;
  };
  using Kind = std::variant<InvalidJson, UnsupportedStateType, UnknownField, MissingRequiredField,
                            InvalidField>;

  std::string path;
  Kind kind;
};

// The one-line message users see, e.g.
//   unknown field "Version" in Version
//   invalid field "(root)" at root: expected object
std::string to_string(const ParseError& error);

}  // namespace vorn::build

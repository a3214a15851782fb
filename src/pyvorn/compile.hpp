// The compile entry points, validate, lower, generate and compile, with
// parse_and_validate shared by everything that builds a machine from
// definition text.
#pragma once

#include <optional>
#include <string_view>

#include "py_binding/py.hpp"
#include "vorn_build/ast.hpp"
#include "vorn_build/lowered.hpp"

namespace pyvorn {

// The parsed definition, or nullopt with ParseError or ValidationError raised
// carrying the error's text unchanged.
std::optional<vorn::build::AslAst> parse_and_validate(std::string_view json_text);

// The lowered machine of a definition text, or nullopt with ParseError or
// ValidationError raised. Validation's encodings of the static data go
// straight into the machine, so no value is encoded twice.
std::optional<vorn::build::LoweredStateMachine> parse_and_lower(std::string_view json_text);

extern PyMethodDef validate_def;
extern PyMethodDef lower_def;
extern PyMethodDef generate_def;
extern PyMethodDef compile_def;

}  // namespace pyvorn

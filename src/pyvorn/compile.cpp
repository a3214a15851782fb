#include "compile.hpp"

#include <array>

#include "exceptions.hpp"
#include "vorn_build/parser.hpp"
#include "vorn_build/validator.hpp"

namespace pyvorn {

namespace {

constexpr std::array<const char* const, 1> kJsonStrArgument = {"json_str"};

// The definition text of a one-argument (json_str) entry point.
std::optional<std::string_view> json_str_argument(const char* function_name, PyObject* const* args,
                                                  Py_ssize_t nargs, PyObject* kwnames) {
  std::array<PyObject*, 1> bound{};
  if (!py::parse_arguments(function_name, args, nargs, kwnames, kJsonStrArgument, bound, 1)) {
    return std::nullopt;
  }
  return py::utf8_argument(bound[0], "json_str");
}

PyObject* validate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    const auto text = json_str_argument("validate", args, nargs, kwnames);
    if (!text || !parse_and_validate(*text)) return nullptr;
    Py_RETURN_NONE;
  });
}

}  // namespace

std::optional<vorn::build::AslAst> parse_and_validate(std::string_view json_text) {
  auto parsed = vorn::build::parse(json_text);
  if (!parsed.ok()) {
    if (PyObject* type = parse_error_type())
      py::raise(type, vorn::build::to_string(parsed.error()));
    return std::nullopt;
  }
  auto checked = vorn::build::validate(parsed.value());
  if (!checked.ok()) {
    if (PyObject* type = validation_error_type())
      py::raise(type, vorn::build::to_string(checked.error()));
    return std::nullopt;
  }
  return std::move(parsed).value();
}

PyMethodDef validate_def = {
    "validate", py::as_cfunction(validate), METH_FASTCALL | METH_KEYWORDS,
    "validate(json_str)\n--\n\nParse and validate ASL JSON. Raises ParseError or ValidationError."};

}  // namespace pyvorn

#include "compile.hpp"

#include <cstdint>
#include <span>

#include "exceptions.hpp"
#include "lowered_ir.hpp"
#include "vorn_build/codegen.hpp"
#include "vorn_build/lower.hpp"
#include "vorn_build/parser.hpp"
#include "vorn_build/validator.hpp"

namespace pyvorn {

namespace {

// The generated source as a new str, written in place: measured first, then
// written straight into a str of that length and width, so the text is never
// grown by reallocation nor copied from a std::string.
py::Ref new_source_str(const vorn::build::LoweredStateMachine& machine) {
  using vorn::build::write_source;
  const vorn::build::SourceExtent extent = vorn::build::measure_source(machine);
  if (!extent.valid_utf8) return py::new_str(vorn::build::generate(machine));
  const auto length = static_cast<Py_ssize_t>(extent.code_points);
  // 127 makes a compact ASCII str, whose one-byte data is its UTF-8 too;
  // above it the str takes the narrowest units that hold every character.
  const Py_UCS4 max_char = extent.max_char;
  py::Ref str = py::Ref::steal(PyUnicode_New(length, max_char));
  if (!str) return str;
  void* data = PyUnicode_DATA(str.get());
  const auto size = static_cast<std::size_t>(length);
  bool written = false;
  if (max_char == 127) {
    written = write_source(machine, std::span(static_cast<char*>(data), size));
  } else if (PyUnicode_KIND(str.get()) == PyUnicode_1BYTE_KIND) {
    written = write_source(machine, std::span(static_cast<std::uint8_t*>(data), size));
  } else if (PyUnicode_KIND(str.get()) == PyUnicode_2BYTE_KIND) {
    written = write_source(machine, std::span(static_cast<std::uint16_t*>(data), size));
  } else {
    written = write_source(machine, std::span(static_cast<std::uint32_t*>(data), size));
  }
  if (!written) {
    PyErr_SetString(PyExc_SystemError, "generated source does not match its measured size");
    return py::Ref();
  }
  return str;
}

// The definition text of a one-argument (json_str) entry point.
std::optional<std::string_view> json_str_argument(const char* function_name, PyObject* const* args,
                                                  Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* text = py::single_argument(function_name, "json_str", args, nargs, kwnames);
  if (text == nullptr) return std::nullopt;
  return py::utf8_argument(text, "json_str");
}

PyObject* validate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    const auto text = json_str_argument("validate", args, nargs, kwnames);
    if (!text || !parse_and_validate(*text)) return nullptr;
    Py_RETURN_NONE;
  });
}

PyObject* lower(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    const auto text = json_str_argument("lower", args, nargs, kwnames);
    if (!text) return nullptr;
    auto machine = parse_and_lower(*text);
    if (!machine) return nullptr;
    return new_lowered_ir(std::move(*machine)).release();
  });
}

PyObject* generate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* lowered = py::single_argument("generate", "lowered", args, nargs, kwnames);
    if (lowered == nullptr) return nullptr;
    if (!is_lowered_ir(lowered)) {
      if (!PyErr_Occurred()) py::raise_argument_type("lowered", lowered, "LoweredIr");
      return nullptr;
    }
    const auto read = LoweredRead::acquire(lowered);
    if (!read) return nullptr;
    return new_source_str(read->machine()).release();
  });
}

PyObject* compile(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    const auto text = json_str_argument("compile", args, nargs, kwnames);
    if (!text) return nullptr;
    const auto machine = parse_and_lower(*text);
    if (!machine) return nullptr;
    return new_source_str(*machine).release();
  });
}

}  // namespace

namespace {

// parse_and_validate(), keeping the static data's encodings when `keep` is
// given.
std::optional<vorn::build::AslAst> parse_checked(std::string_view json_text,
                                                 vorn::build::EncodedStaticData* keep) {
  auto parsed = vorn::build::parse(json_text);
  if (!parsed.ok()) {
    if (PyObject* type = parse_error_type())
      py::raise(type, vorn::build::to_string(parsed.error()));
    return std::nullopt;
  }
  auto checked = keep != nullptr ? vorn::build::validate(parsed.value(), *keep)
                                 : vorn::build::validate(parsed.value());
  if (!checked.ok()) {
    if (PyObject* type = validation_error_type())
      py::raise(type, vorn::build::to_string(checked.error()));
    return std::nullopt;
  }
  return std::move(parsed).value();
}

}  // namespace

std::optional<vorn::build::AslAst> parse_and_validate(std::string_view json_text) {
  return parse_checked(json_text, nullptr);
}

std::optional<vorn::build::LoweredStateMachine> parse_and_lower(std::string_view json_text) {
  vorn::build::EncodedStaticData encoded;
  const auto ast = parse_checked(json_text, &encoded);
  if (!ast) return std::nullopt;
  return vorn::build::lower(*ast, std::move(encoded));
}

PyMethodDef validate_def = {
    "validate", py::as_cfunction(validate), METH_FASTCALL | METH_KEYWORDS,
    "validate(json_str)\n--\n\nParse and validate ASL JSON. Raises ParseError or ValidationError."};

PyMethodDef lower_def = {
    "lower", py::as_cfunction(lower), METH_FASTCALL | METH_KEYWORDS,
    "lower(json_str)\n--\n\nParse, validate, and lower ASL JSON into an IR handle."};

PyMethodDef generate_def = {
    "generate", py::as_cfunction(generate), METH_FASTCALL | METH_KEYWORDS,
    "generate(lowered)\n--\n\nGenerate Rust source code from a LoweredIr handle."};

PyMethodDef compile_def = {
    "compile", py::as_cfunction(compile), METH_FASTCALL | METH_KEYWORDS,
    "compile(json_str)\n--\n\nFull pipeline: parse + validate + lower + generate. Returns Rust "
    "source."};

}  // namespace pyvorn

// validate(text): every problem AWS's ValidateStateMachineDefinition would
// report, as a dict of its shape.
#include "aws_build/check.hpp"
#include "diagnostics.hpp"
#include "module_functions.hpp"

namespace pyvorn::aws_binding {

namespace {

py::StaticString key_result("result");
py::StaticString key_diagnostics("diagnostics");
py::StaticString key_truncated("truncated");

PyObject* validate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* argument = py::single_argument("validate", "text", args, nargs, kwnames);
    if (argument == nullptr) return nullptr;
    const auto text = py::utf8_argument(argument, "text");
    if (!text) return nullptr;
    const vorn::aws::CheckOutcome outcome = vorn::aws::check_definition(*text);

    py::Ref result = py::Ref::steal(PyDict_New());
    py::Ref diagnostics = diagnostics_to_python(outcome.diagnostics);
    if (!result || !diagnostics) return nullptr;
    const char* verdict = vorn::aws::has_errors(outcome.diagnostics) ? "FAIL" : "OK";
    py::Ref verdict_text = py::new_str(verdict);
    // Every diagnostic is reported; nothing is ever cut off.
    if (!verdict_text || key_result.get() == nullptr || key_diagnostics.get() == nullptr ||
        key_truncated.get() == nullptr ||
        PyDict_SetItem(result.get(), key_result.get(), verdict_text.get()) != 0 ||
        PyDict_SetItem(result.get(), key_diagnostics.get(), diagnostics.get()) != 0 ||
        PyDict_SetItem(result.get(), key_truncated.get(), Py_False) != 0) {
      return nullptr;
    }
    return result.release();
  });
}

}  // namespace

PyMethodDef validate_def = {
    "validate", py::as_cfunction(validate), METH_FASTCALL | METH_KEYWORDS,
    "validate(text)\n--\n\n"
    "Check a definition as AWS Step Functions does and report every problem:\n"
    "{\"result\": \"OK\" | \"FAIL\", \"diagnostics\": [...], \"truncated\": False}."};

}  // namespace pyvorn::aws_binding

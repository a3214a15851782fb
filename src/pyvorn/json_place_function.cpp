// json_place(root, path_str, value): a converted copy of `root` with `value`
// placed at the path, or None when the place cannot be reached. The objects
// passed in are never changed.
#include "data_bridge.hpp"
#include "xvorn/json_place.hpp"
#include "xvorn_bridge.hpp"

namespace pyvorn {

namespace {

PyObject* json_place(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"root", "path_str", "value"};
    PyObject* bound[3] = {};
    if (!py::parse_arguments("json_place", args, nargs, kwnames, kNames, bound, 3)) return nullptr;
    // The path's type is checked before anything is converted; the path is
    // parsed only after the root converted.
    const auto path_text = py::utf8_argument(bound[1], "path_str");
    if (!path_text) return nullptr;
    auto root = py_to_json_value(bound[0]);
    if (!root) return nullptr;
    const auto path = xvorn::JsonPath::parse(*path_text);
    if (!path.ok()) {
      raise_json_path_error(xvorn::to_string(path.error()));
      return nullptr;
    }
    auto value = py_to_json_value(bound[2]);
    if (!value) return nullptr;
    const auto placed = xvorn::json_place(std::move(*root), path->segments(), std::move(*value));
    if (!placed) Py_RETURN_NONE;
    return json_value_to_py(*placed).release();
  });
}

}  // namespace

PyMethodDef json_place_def = {
    "json_place", py::as_cfunction(json_place), METH_FASTCALL | METH_KEYWORDS,
    "json_place(root, path_str, value)\n--\n\n"
    "Place a value at a JSONPath location within a root object."};

}  // namespace pyvorn

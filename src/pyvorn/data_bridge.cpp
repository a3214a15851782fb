// encode_value and decode_value: the binary value format from Python.
#include "data_bridge.hpp"

namespace pyvorn {

namespace {

// Most values are small; starting here skips the first few regrowths.
constexpr std::size_t kInitialEncodeCapacity = 256;

PyObject* encode_value(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* object = py::single_argument("encode_value", "obj", args, nargs, kwnames);
    if (object == nullptr) return nullptr;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kInitialEncodeCapacity);
    if (!encode_py_value(object, bytes)) return nullptr;
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data()),
                                     static_cast<Py_ssize_t>(bytes.size()));
  });
}

PyObject* decode_value(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* data = py::single_argument("decode_value", "data", args, nargs, kwnames);
    if (data == nullptr) return nullptr;
    if (!PyBytes_Check(data)) {
      py::raise_argument_type("data", data, "PyBytes");
      return nullptr;
    }
    const vorn::Bytes bytes(reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(data)),
                            static_cast<std::size_t>(PyBytes_GET_SIZE(data)));
    return decode_to_py(bytes).release();
  });
}

}  // namespace

PyMethodDef encode_value_def = {
    "encode_value", py::as_cfunction(encode_value), METH_FASTCALL | METH_KEYWORDS,
    "encode_value(obj)\n--\n\nEncode a Python value into VORN binary format."};

PyMethodDef decode_value_def = {
    "decode_value", py::as_cfunction(decode_value), METH_FASTCALL | METH_KEYWORDS,
    "decode_value(data)\n--\n\nDecode VORN binary format into a Python value."};

}  // namespace pyvorn

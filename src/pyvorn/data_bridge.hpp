// The one set of rules by which Python values enter and leave the system.
//
// In: None, bool (exactly), int, float, str, list, dict and their subclasses,
// tested in that order; anything else is refused with TypeError. Out: exactly
// None, bool, int, float, str, list and dict; dicts iterate in key-byte order.
//
// Deep or self-containing lists and dicts raise RecursionError instead of
// exhausting the C stack.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "json/value.hpp"
#include "py.hpp"
#include "vorn/value_format.hpp"

namespace pyvorn {

// The JSON value of `object`, or nullopt with the conversion's exception set.
std::optional<vorn::json::Value> py_to_json_value(PyObject* object);

// A new Python object for `value`; null only when the interpreter is out of
// memory (with MemoryError set).
py::Ref json_value_to_py(const vorn::json::Value& value);

// Encodes `object` straight to the binary value format, with the errors and
// the bytes of py_to_json_value followed by encoding, but without building
// the tree (unless the value needs it). Values that exceed a limit of the
// format raise ValueError naming the limit, but only when no part of the value
// fails to convert. Returns false with an exception set; `out` then holds
// garbage.
bool encode_py_value(PyObject* object, std::vector<std::uint8_t>& out);

// Decodes the value at the start of `bytes` straight into Python objects.
// Malformed input raises ValueError("decode failed: InvalidType").
py::Ref decode_to_py(vorn::Bytes bytes);

extern PyMethodDef encode_value_def;
extern PyMethodDef decode_value_def;

}  // namespace pyvorn

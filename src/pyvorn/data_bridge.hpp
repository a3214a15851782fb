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
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "json/value.hpp"
#include "py_binding/py.hpp"
#include "vorn/decoder.hpp"
#include "vorn/value_format.hpp"

namespace pyvorn {

// The JSON value of `object`, or nullopt with the conversion's exception set.
std::optional<vorn::json::Value> py_to_json_value(PyObject* object);

// One step down into a value: a dict key, matched by its UTF-8 bytes, or a
// list index.
using ValueStep = std::variant<std::string_view, std::uint64_t>;

// What json_value_to_py gives for the part of py_to_json_value(object) that
// `steps` lead to, without converting the rest: `target` is set to the new
// object, or left empty when the steps lead nowhere. Every part of `object`
// is still checked, so exactly the exception py_to_json_value(object) would
// raise is raised, wherever it sits. Returns false with it set.
//
// An immutable target of an exact built-in type (None, bool, int, float,
// str) comes back as itself rather than as an equal copy.
bool py_value_at(PyObject* object, std::span<const ValueStep> steps, py::Ref& target);
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

// The same, for callers that report malformed input their own way: then the
// result is null with `status` InvalidData and no exception set. SinkFailed
// means the interpreter failed (MemoryError is pending).
py::Ref decode_to_py(vorn::Bytes bytes, vorn::DecodeStatus& status);

extern PyMethodDef encode_value_def;
extern PyMethodDef decode_value_def;

}  // namespace pyvorn

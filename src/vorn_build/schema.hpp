// Structural types of static JSON data (Pass results and Pass templates).
//
// A SchemaType says what shape a value has: which keys an object holds and
// what each maps to, what every element of an array looks like. Integers and
// floats are different types (the JSON tree keeps `1` and `1.0` apart), and
// `Any` is only ever the element type of an empty array. An array whose
// elements differ in shape has no type at all.
//
// The functions here recurse over the value or type they are given. Every tree
// that reaches them comes from the JSON reader, which refuses nesting deeper
// than 128 levels, so the recursion depth is bounded by that limit; a caller
// that builds deeper trees by hand must bound them itself.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "json/value.hpp"
#include "vorn/value_writer.hpp"

namespace vorn::build {

struct SchemaType {
  struct Field;
  // Fields sorted by name bytes, names unique.
  struct Object {
    std::vector<Field> fields;
  };
  // The one type all elements share. Owns it on the heap; copies are deep. A
  // moved-from Array holds nothing and may only be assigned or destroyed.
  struct Array {
    explicit Array(SchemaType element_type);
    Array(const Array& other);
    Array(Array&& other) noexcept;
    Array& operator=(const Array& other);
    Array& operator=(Array&& other) noexcept;
    ~Array();

    const SchemaType& element() const { return *element_; }

   private:
    std::unique_ptr<SchemaType> element_;
  };
  struct String {};
  struct Integer {};
  struct Bool {};
  struct Null {};
  struct Float {};
  struct Any {};
  using Kind = std::variant<Object, Array, String, Integer, Bool, Null, Float, Any>;

  Kind kind;
};

struct SchemaType::Field {
  std::string name;
  SchemaType type;
};

// The type of `value`, or nullopt when some array anywhere inside it has
// elements of different shapes. Each element is compared with the first
// element only, so the cost is linear in the size of the value.
std::optional<SchemaType> extract_schema(const json::Value& value);

// extract_schema(value).has_value(), without building the type: a walk that
// allocates nothing, for callers that only need the verdict.
bool has_uniform_arrays(const json::Value& value);

// For a value already known to have uniform arrays (has_uniform_arrays
// holds): encode_schema(*extract_schema(value)) and
// measure_schema(*extract_schema(value)), written or measured straight from
// the value, without checking the arrays again or building the type. Only
// the first element of each array is visited.
std::vector<std::uint8_t> encode_schema_of_uniform(const json::Value& value);
Result<std::size_t, EncodeError> measure_schema_of_uniform(const json::Value& value);

// Deep equality. Nothing is a wildcard: Any equals only Any.
bool schemas_structurally_equal(const SchemaType& a, const SchemaType& b);

// The schema's bytes: one tag (Object 01, Array 02, String 03, Integer 04,
// Bool 05, Null 06, Float 07, Any ff), then for an Object the body length
// (u16 LE) and the body (field count u16, then per field: name length u16,
// name bytes, field encoding), for an Array the element's encoding length
// (u16) and that encoding. Lengths and counts are written as their low 16
// bits; a schema too large for them is for the caller to refuse beforehand.
std::vector<std::uint8_t> encode_schema(const SchemaType& schema);

// The size encode_schema() would produce, or the first 16-bit field it would
// overflow: a field count (ObjectCount), a field name (KeyLength), an object
// body (ObjectBody) or an array's element encoding (ArrayBody).
Result<std::size_t, EncodeError> measure_schema(const SchemaType& schema);

}  // namespace vorn::build

#include "schema.hpp"

#include <cstddef>
#include <utility>

#include "base/overloaded.hpp"

namespace vorn::build {

SchemaType::Array::Array(SchemaType element_type)
    : element_(std::make_unique<SchemaType>(std::move(element_type))) {}
SchemaType::Array::Array(const Array& other)
    : element_(std::make_unique<SchemaType>(other.element())) {}
SchemaType::Array::Array(Array&& other) noexcept = default;
SchemaType::Array& SchemaType::Array::operator=(const Array& other) {
  if (this != &other) element_ = std::make_unique<SchemaType>(other.element());
  return *this;
}
SchemaType::Array& SchemaType::Array::operator=(Array&& other) noexcept = default;
SchemaType::Array::~Array() = default;

namespace {

using json::Value;

// Whether `value` has uniform arrays and the same type as `model`, a value
// already known to have uniform arrays. Arrays are compared through the
// model's first element, so every node of `value` is visited once and the
// model is walked no further than `value` is.
bool same_shape(const Value& value, const Value& model) {
  switch (model.kind()) {
    case Value::Kind::UInt:
    case Value::Kind::Int:
      return value.is_integer();
    case Value::Kind::Array: {
      if (!value.is_array()) return false;
      const json::Array& items = value.as_array();
      const json::Array& model_items = model.as_array();
      // An empty array's element type is Any, which no element type equals.
      if (items.empty() || model_items.empty()) return items.empty() && model_items.empty();
      for (const Value& item : items) {
        if (!same_shape(item, model_items.front())) return false;
      }
      return true;
    }
    case Value::Kind::Object: {
      if (!value.is_object()) return false;
      const auto& members = value.as_object().members();
      const auto& model_members = model.as_object().members();
      if (members.size() != model_members.size()) return false;
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i].key != model_members[i].key) return false;
        if (!same_shape(members[i].value, model_members[i].value)) return false;
      }
      return true;
    }
    default:
      return value.kind() == model.kind();
  }
}

// The type of a value whose arrays are known to be uniform: every array takes
// the type of its first element.
SchemaType build_schema(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null:
      return {SchemaType::Null{}};
    case Value::Kind::Bool:
      return {SchemaType::Bool{}};
    case Value::Kind::UInt:
    case Value::Kind::Int:
      return {SchemaType::Integer{}};
    case Value::Kind::Float:
      return {SchemaType::Float{}};
    case Value::Kind::String:
      return {SchemaType::String{}};
    case Value::Kind::Array: {
      const json::Array& items = value.as_array();
      return {SchemaType::Array(items.empty() ? SchemaType{SchemaType::Any{}}
                                              : build_schema(items.front()))};
    }
    case Value::Kind::Object: {
      // Members already iterate in key byte order, the order fields keep.
      SchemaType::Object object;
      object.fields.reserve(value.as_object().size());
      for (const json::Member& member : value.as_object()) {
        object.fields.push_back({member.key, build_schema(member.value)});
      }
      return {std::move(object)};
    }
  }
  return {SchemaType::Any{}};  // not reached: the switch covers every kind
}

void put_u16(std::vector<std::uint8_t>& out, std::size_t at, std::size_t number) {
  out[at] = static_cast<std::uint8_t>(number & 0xff);
  out[at + 1] = static_cast<std::uint8_t>((number >> 8) & 0xff);
}

void append_u16(std::vector<std::uint8_t>& out, std::size_t number) {
  out.resize(out.size() + 2);
  put_u16(out, out.size() - 2, number);
}

// Writes a composite's length field after its content, so nested types are
// encoded in place instead of in a buffer per level.
void encode_into(std::vector<std::uint8_t>& out, const SchemaType& schema) {
  std::visit(Overloaded{
                 [&](const SchemaType::Object& object) {
                   out.push_back(0x01);
                   const std::size_t length_at = out.size();
                   append_u16(out, 0);
                   append_u16(out, object.fields.size());
                   for (const SchemaType::Field& field : object.fields) {
                     append_u16(out, field.name.size());
                     out.insert(out.end(), field.name.begin(), field.name.end());
                     encode_into(out, field.type);
                   }
                   put_u16(out, length_at, out.size() - length_at - 2);
                 },
                 [&](const SchemaType::Array& array) {
                   out.push_back(0x02);
                   const std::size_t length_at = out.size();
                   append_u16(out, 0);
                   encode_into(out, array.element());
                   put_u16(out, length_at, out.size() - length_at - 2);
                 },
                 [&](const SchemaType::String&) { out.push_back(0x03); },
                 [&](const SchemaType::Integer&) { out.push_back(0x04); },
                 [&](const SchemaType::Bool&) { out.push_back(0x05); },
                 [&](const SchemaType::Null&) { out.push_back(0x06); },
                 [&](const SchemaType::Float&) { out.push_back(0x07); },
                 [&](const SchemaType::Any&) { out.push_back(0xff); },
             },
             schema.kind);
}

// The type tags of scalar values, as encode_into writes them.
std::uint8_t scalar_tag(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::String:
      return 0x03;
    case Value::Kind::UInt:
    case Value::Kind::Int:
      return 0x04;
    case Value::Kind::Bool:
      return 0x05;
    case Value::Kind::Null:
      return 0x06;
    case Value::Kind::Float:
      return 0x07;
    case Value::Kind::Array:
    case Value::Kind::Object:
      break;
  }
  return 0xff;  // not reached: callers pass scalars only
}

// encode_into(out, build_schema(value)), without the type in between: an
// array's type is its first element's (Any when it has none), an object's
// fields are its members, already in key order.
void encode_value_schema_into(std::vector<std::uint8_t>& out, const Value& value) {
  if (value.is_array()) {
    out.push_back(0x02);
    const std::size_t length_at = out.size();
    append_u16(out, 0);
    const json::Array& items = value.as_array();
    if (items.empty()) {
      out.push_back(0xff);
    } else {
      encode_value_schema_into(out, items.front());
    }
    put_u16(out, length_at, out.size() - length_at - 2);
  } else if (value.is_object()) {
    out.push_back(0x01);
    const std::size_t length_at = out.size();
    append_u16(out, 0);
    append_u16(out, value.as_object().size());
    for (const json::Member& member : value.as_object()) {
      append_u16(out, member.key.size());
      out.insert(out.end(), member.key.begin(), member.key.end());
      encode_value_schema_into(out, member.value);
    }
    put_u16(out, length_at, out.size() - length_at - 2);
  } else {
    out.push_back(scalar_tag(value));
  }
}

}  // namespace

bool has_uniform_arrays(const Value& value) {
  if (value.is_array()) {
    const json::Array& items = value.as_array();
    if (items.empty()) return true;
    if (!has_uniform_arrays(items.front())) return false;
    for (std::size_t i = 1; i < items.size(); ++i) {
      if (!same_shape(items[i], items.front())) return false;
    }
    return true;
  }
  if (value.is_object()) {
    for (const json::Member& member : value.as_object()) {
      if (!has_uniform_arrays(member.value)) return false;
    }
  }
  return true;
}

std::optional<SchemaType> extract_schema(const Value& value) {
  if (!has_uniform_arrays(value)) return std::nullopt;
  return build_schema(value);
}

std::vector<std::uint8_t> encode_schema_of_uniform(const Value& value) {
  std::vector<std::uint8_t> out;
  encode_value_schema_into(out, value);
  return out;
}

// The checks of measure_schema, in its order, over the type build_schema
// would give.
Result<std::size_t, EncodeError> measure_schema_of_uniform(const Value& value) {
  using Limit = EncodeError::Limit;
  if (value.is_array()) {
    const json::Array& items = value.as_array();
    std::size_t element = 1;  // Any
    if (!items.empty()) {
      VORN_TRY_ASSIGN(element, measure_schema_of_uniform(items.front()));
    }
    if (element > kMaxFieldValue) return fail(EncodeError{Limit::ArrayBody, element});
    return kContainerHeaderSize + element;
  }
  if (value.is_object()) {
    const json::Object& object = value.as_object();
    if (object.size() > kMaxFieldValue) {
      return fail(EncodeError{Limit::ObjectCount, object.size()});
    }
    std::size_t body = 2;
    for (const json::Member& member : object) {
      if (member.key.size() > kMaxFieldValue) {
        return fail(EncodeError{Limit::KeyLength, member.key.size()});
      }
      VORN_TRY_ASSIGN(const std::size_t type, measure_schema_of_uniform(member.value));
      body += 2 + member.key.size() + type;
    }
    if (body > kMaxFieldValue) return fail(EncodeError{Limit::ObjectBody, body});
    return kContainerHeaderSize + body;
  }
  return std::size_t{1};
}

bool schemas_structurally_equal(const SchemaType& a, const SchemaType& b) {
  if (a.kind.index() != b.kind.index()) return false;
  if (const auto* array = std::get_if<SchemaType::Array>(&a.kind)) {
    return schemas_structurally_equal(array->element(),
                                      std::get<SchemaType::Array>(b.kind).element());
  }
  if (const auto* object = std::get_if<SchemaType::Object>(&a.kind)) {
    const auto& fields = object->fields;
    const auto& other = std::get<SchemaType::Object>(b.kind).fields;
    if (fields.size() != other.size()) return false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].name != other[i].name) return false;
      if (!schemas_structurally_equal(fields[i].type, other[i].type)) return false;
    }
  }
  return true;
}

std::vector<std::uint8_t> encode_schema(const SchemaType& schema) {
  std::vector<std::uint8_t> out;
  encode_into(out, schema);
  return out;
}

Result<std::size_t, EncodeError> measure_schema(const SchemaType& schema) {
  using Limit = EncodeError::Limit;
  if (const auto* array = std::get_if<SchemaType::Array>(&schema.kind)) {
    VORN_TRY_ASSIGN(const std::size_t element, measure_schema(array->element()));
    if (element > kMaxFieldValue) return fail(EncodeError{Limit::ArrayBody, element});
    return kContainerHeaderSize + element;
  }
  if (const auto* object = std::get_if<SchemaType::Object>(&schema.kind)) {
    if (object->fields.size() > kMaxFieldValue) {
      return fail(EncodeError{Limit::ObjectCount, object->fields.size()});
    }
    std::size_t body = 2;
    for (const SchemaType::Field& field : object->fields) {
      if (field.name.size() > kMaxFieldValue) {
        return fail(EncodeError{Limit::KeyLength, field.name.size()});
      }
      VORN_TRY_ASSIGN(const std::size_t type, measure_schema(field.type));
      body += 2 + field.name.size() + type;
    }
    if (body > kMaxFieldValue) return fail(EncodeError{Limit::ObjectBody, body});
    return kContainerHeaderSize + body;
  }
  return std::size_t{1};
}

}  // namespace vorn::build

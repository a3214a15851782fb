#include "encode.hpp"

#include <limits>

namespace vorn {

namespace {

// One walk for the writer and the sizer, so sizes and refusals agree.
template <class Writer>
EncodeResult write_at_depth(Writer& writer, const json::Value& value, std::size_t depth) {
  using Kind = json::Value::Kind;
  switch (value.kind()) {
    case Kind::Null:
      writer.write_null();
      return {};
    case Kind::Bool:
      writer.write_bool(value.as_bool());
      return {};
    case Kind::UInt:
      if (value.as_uint() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        writer.write_float(static_cast<double>(value.as_uint()));
      } else {
        writer.write_integer(static_cast<std::int64_t>(value.as_uint()));
      }
      return {};
    case Kind::Int:
      writer.write_integer(value.as_int());
      return {};
    case Kind::Float:
      writer.write_float(value.as_float());
      return {};
    case Kind::String:
      return writer.write_string(value.as_string());
    case Kind::Array:
    case Kind::Object:
      break;
  }
  if (depth >= kMaxNestingDepth) return fail(EncodeError{EncodeError::Limit::Depth, depth + 1});
  if (value.is_array()) {
    const json::Array& elements = value.as_array();
    VORN_TRY_ASSIGN(const auto container, writer.open_array(elements.size()));
    for (const json::Value& element : elements)
      VORN_TRY(write_at_depth(writer, element, depth + 1));
    return writer.close(container);
  }
  const json::Object& object = value.as_object();
  VORN_TRY_ASSIGN(const auto container, writer.open_object(object.size()));
  for (const json::Member& member : object) {
    VORN_TRY(writer.write_key(member.key));
    VORN_TRY(write_at_depth(writer, member.value, depth + 1));
  }
  return writer.close(container);
}

}  // namespace

EncodeResult write_value(ValueWriter& writer, const json::Value& value) {
  return write_at_depth(writer, value, 0);
}

Result<std::size_t, EncodeError> measure_value(const json::Value& value) {
  ValueSizer sizer;
  VORN_TRY(write_at_depth(sizer, value, 0));
  return sizer.size();
}

Result<std::vector<std::uint8_t>, EncodeError> encode_value(const json::Value& value) {
  std::vector<std::uint8_t> out;
  ValueWriter writer(out);
  VORN_TRY(write_value(writer, value));
  return out;
}

}  // namespace vorn

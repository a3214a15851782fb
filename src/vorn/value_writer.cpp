#include "value_writer.hpp"

#include <cstring>

namespace vorn {

std::string to_string(const EncodeError& error) {
  const std::string found = std::to_string(error.found);
  const std::string limit = std::to_string(kMaxFieldValue);
  switch (error.limit) {
    case EncodeError::Limit::StringLength:
      return "string of " + found + " bytes exceeds the limit of " + limit + " bytes";
    case EncodeError::Limit::KeyLength:
      return "object key of " + found + " bytes exceeds the limit of " + limit + " bytes";
    case EncodeError::Limit::ArrayCount:
      return "array of " + found + " elements exceeds the limit of " + limit + " elements";
    case EncodeError::Limit::ObjectCount:
      return "object of " + found + " entries exceeds the limit of " + limit + " entries";
    case EncodeError::Limit::ArrayBody:
      return "array body of " + found + " bytes exceeds the limit of " + limit + " bytes";
    case EncodeError::Limit::ObjectBody:
      return "object body of " + found + " bytes exceeds the limit of " + limit + " bytes";
    case EncodeError::Limit::Depth:
      return "nesting of " + found + " levels exceeds the limit of " +
             std::to_string(kMaxNestingDepth) + " levels";
  }
  return "value exceeds a limit of the binary format";
}

EncodeResult ValueSizer::write_string(std::string_view text) {
  VORN_TRY(value_limits::check_text_length(EncodeError::Limit::StringLength, text.size()));
  size_ += kContainerHeaderSize + text.size();
  return {};
}

EncodeResult ValueSizer::write_key(std::string_view key) {
  VORN_TRY(value_limits::check_text_length(EncodeError::Limit::KeyLength, key.size()));
  size_ += 2 + key.size();
  return {};
}

Result<ValueSizer::Container, EncodeError> ValueSizer::open(Tag tag, std::size_t count) {
  VORN_TRY(value_limits::check_count(tag, count));
  const Container container{size_, tag};
  size_ += kContainerPrefixSize;
  return container;
}

Result<ValueSizer::Container, EncodeError> ValueSizer::open_array(std::size_t count) {
  return open(Tag::Array, count);
}

Result<ValueSizer::Container, EncodeError> ValueSizer::open_object(std::size_t count) {
  return open(Tag::Object, count);
}

EncodeResult ValueSizer::close(Container container) {
  return value_limits::check_body(container.tag, size_ - container.header_offset - kContainerHeaderSize);
}

}  // namespace vorn

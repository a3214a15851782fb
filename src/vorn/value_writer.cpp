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

namespace {

// The limits, shared by the writer and the sizer so both refuse alike.
EncodeResult check_text_length(EncodeError::Limit limit, std::size_t length) {
  if (length > kMaxFieldValue) return fail(EncodeError{limit, length});
  return {};
}

EncodeResult check_count(Tag tag, std::size_t count) {
  if (count <= kMaxFieldValue) return {};
  return fail(EncodeError{
      tag == Tag::Array ? EncodeError::Limit::ArrayCount : EncodeError::Limit::ObjectCount, count});
}

EncodeResult check_body(Tag tag, std::size_t body) {
  if (body <= kMaxFieldValue) return {};
  return fail(EncodeError{
      tag == Tag::Array ? EncodeError::Limit::ArrayBody : EncodeError::Limit::ObjectBody, body});
}

}  // namespace

void ValueWriter::write_tagged_u64(Tag tag, std::uint64_t bits) {
  std::uint8_t* at = grow(9);
  at[0] = static_cast<std::uint8_t>(tag);
  for (int i = 0; i < 8; ++i) at[1 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

void ValueWriter::write_null() {
  *grow(1) = static_cast<std::uint8_t>(Tag::Null);
}

void ValueWriter::write_bool(bool value) {
  std::uint8_t* at = grow(2);
  at[0] = static_cast<std::uint8_t>(Tag::Boolean);
  at[1] = value ? 1 : 0;
}

void ValueWriter::write_integer(std::int64_t value) {
  write_tagged_u64(Tag::Integer, static_cast<std::uint64_t>(value));
}

void ValueWriter::write_float(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  write_tagged_u64(Tag::Float, bits);
}

EncodeResult ValueWriter::write_string(std::string_view text) {
  VORN_TRY(check_text_length(EncodeError::Limit::StringLength, text.size()));
  std::uint8_t* at = grow(kContainerHeaderSize + text.size());
  at[0] = static_cast<std::uint8_t>(Tag::String);
  store_u16(at + 1, text.size());
  if (!text.empty()) std::memcpy(at + kContainerHeaderSize, text.data(), text.size());
  return {};
}

EncodeResult ValueWriter::write_key(std::string_view key) {
  VORN_TRY(check_text_length(EncodeError::Limit::KeyLength, key.size()));
  std::uint8_t* at = grow(2 + key.size());
  store_u16(at, key.size());
  if (!key.empty()) std::memcpy(at + 2, key.data(), key.size());
  return {};
}

Result<ValueWriter::Container, EncodeError> ValueWriter::open(Tag tag, std::size_t count) {
  if (count > kMaxFieldValue) {
    return fail(EncodeError{
        tag == Tag::Array ? EncodeError::Limit::ArrayCount : EncodeError::Limit::ObjectCount,
        count});
  }
  const Container container{out_.size(), tag};
  std::uint8_t* at = grow(kContainerPrefixSize);
  at[0] = static_cast<std::uint8_t>(tag);
  store_u16(at + 1, 0);  // body length, filled in by close()
  store_u16(at + 3, count);
  return container;
}

Result<ValueWriter::Container, EncodeError> ValueWriter::open_array(std::size_t count) {
  return open(Tag::Array, count);
}

Result<ValueWriter::Container, EncodeError> ValueWriter::open_object(std::size_t count) {
  return open(Tag::Object, count);
}

EncodeResult ValueWriter::close(Container container) {
  const std::size_t body = out_.size() - container.header_offset - kContainerHeaderSize;
  VORN_TRY(check_body(container.tag, body));
  store_u16(out_.data() + container.header_offset + 1, body);
  return {};
}

EncodeResult ValueSizer::write_string(std::string_view text) {
  VORN_TRY(check_text_length(EncodeError::Limit::StringLength, text.size()));
  size_ += kContainerHeaderSize + text.size();
  return {};
}

EncodeResult ValueSizer::write_key(std::string_view key) {
  VORN_TRY(check_text_length(EncodeError::Limit::KeyLength, key.size()));
  size_ += 2 + key.size();
  return {};
}

Result<ValueSizer::Container, EncodeError> ValueSizer::open(Tag tag, std::size_t count) {
  VORN_TRY(check_count(tag, count));
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
  return check_body(container.tag, size_ - container.header_offset - kContainerHeaderSize);
}

}  // namespace vorn

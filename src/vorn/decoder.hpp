// Decoding encoded bytes back into values.
//
// BinaryDeserializer walks one window of bytes (the root's window is the whole
// input; a nested value's window is exactly its encoded size) and reports what
// it finds to a sink, event by event, so the same checks serve every target:
// a JSON value tree here, Python objects in the extension. Any malformed or
// truncated input, invalid tag or invalid UTF-8 ends the walk with
// InvalidData; nothing partial is returned. Bytes after the root value are
// ignored.
//
// Object entries are reported in stored order; a sink that builds maps must
// sort them and keep the last of a repeated key, as the tree sink does.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "context_error.hpp"
#include "base/result.hpp"
#include "base/utf8.hpp"
#include "json/value.hpp"
#include "value_format.hpp"

namespace vorn {

struct DeError {
  enum class Kind { InvalidData, MissingField, Custom };
  Kind kind;
  std::string message;  // Custom only

  // Malformed input is a type problem; the message of Custom is dropped.
  ContextError into_context_error() const;
};

enum class DecodeStatus {
  Ok,
  InvalidData,
  SinkFailed,  // the sink refused an event (its own error is pending)
};

// What a sink receives. Each returns false to stop the walk.
//   bool null(); bool boolean(bool); bool integer(std::int64_t);
//   bool floating(double);                      // finite values only
//   bool string(std::string_view);              // valid UTF-8
//   bool begin_array(std::size_t count);  bool end_array(std::size_t count);
//   bool begin_object(std::size_t count); bool key(std::string_view);
//   bool end_object(std::size_t count);
template <class Sink>
class BinaryDeserializer {
 public:
  explicit BinaryDeserializer(Sink& sink) : sink_(sink) {}

  DecodeStatus deserialize(Bytes window) { return value(window, 0); }

 private:
  // The decoder's cursor over an object's entries.
  struct ObjectMapAccess {
    Bytes window;
    std::size_t position;
    std::size_t remaining;
  };

  static DecodeStatus emitted(bool accepted) {
    return accepted ? DecodeStatus::Ok : DecodeStatus::SinkFailed;
  }

  static std::string_view text_at(Bytes window, std::size_t offset, std::size_t length) {
    return {reinterpret_cast<const char*>(window.data() + offset), length};
  }

  // Keys and most strings are short ASCII, which is decided inline; anything
  // else gets the full check.
  static bool is_valid_text(std::string_view text) {
    if (text.size() <= 32) {
      unsigned char high = 0;
      for (const char c : text) high |= static_cast<unsigned char>(c);
      if (high < 0x80) return true;
    }
    return is_valid_utf8(text);
  }

  DecodeStatus value(Bytes window, std::size_t depth) {
    if (window.empty()) return DecodeStatus::InvalidData;
    switch (static_cast<Tag>(window[0])) {
      case Tag::Object:
        return object(window, depth);
      case Tag::Array:
        return array(window, depth);
      case Tag::String: {
        if (window.size() < kContainerHeaderSize) return DecodeStatus::InvalidData;
        const std::size_t length = read_u16(window.data() + 1);
        if (window.size() < kContainerHeaderSize + length) return DecodeStatus::InvalidData;
        const std::string_view text = text_at(window, kContainerHeaderSize, length);
        if (!is_valid_text(text)) return DecodeStatus::InvalidData;
        return emitted(sink_.string(text));
      }
      case Tag::Integer:
        if (window.size() < 9) return DecodeStatus::InvalidData;
        return emitted(sink_.integer(static_cast<std::int64_t>(read_u64(window.data() + 1))));
      case Tag::Boolean:
        if (window.size() < 2) return DecodeStatus::InvalidData;
        return emitted(sink_.boolean(window[1] != 0));
      case Tag::Null:
        return emitted(sink_.null());
      case Tag::Float: {
        if (window.size() < 9) return DecodeStatus::InvalidData;
        const double number = std::bit_cast<double>(read_u64(window.data() + 1));
        // The value tree holds finite numbers only.
        return emitted(std::isfinite(number) ? sink_.floating(number) : sink_.null());
      }
    }
    return DecodeStatus::InvalidData;
  }

  DecodeStatus array(Bytes window, std::size_t depth) {
    if (window.size() < kContainerPrefixSize || depth >= kMaxNestingDepth) {
      return DecodeStatus::InvalidData;
    }
    const std::size_t count = read_u16(window.data() + 3);
    if (!sink_.begin_array(count)) return DecodeStatus::SinkFailed;
    std::size_t position = kContainerPrefixSize;
    for (std::size_t i = 0; i < count; ++i) {
      if (position >= window.size()) return DecodeStatus::InvalidData;
      const std::size_t size = encoded_data_size(window.subspan(position));
      if (size == 0 || size > window.size() - position) return DecodeStatus::InvalidData;
      const DecodeStatus status = value(window.subspan(position, size), depth + 1);
      if (status != DecodeStatus::Ok) return status;
      position += size;
    }
    return emitted(sink_.end_array(count));
  }

  DecodeStatus object(Bytes window, std::size_t depth) {
    if (window.size() < kContainerPrefixSize || depth >= kMaxNestingDepth) {
      return DecodeStatus::InvalidData;
    }
    ObjectMapAccess entries{window, kContainerPrefixSize, read_u16(window.data() + 3)};
    const std::size_t count = entries.remaining;
    if (!sink_.begin_object(count)) return DecodeStatus::SinkFailed;
    while (entries.remaining > 0) {
      const DecodeStatus status = next_entry(entries, depth);
      if (status != DecodeStatus::Ok) return status;
    }
    return emitted(sink_.end_object(count));
  }

  DecodeStatus next_entry(ObjectMapAccess& entries, std::size_t depth) {
    const Bytes window = entries.window;
    if (entries.position + 2 > window.size()) return DecodeStatus::InvalidData;
    const std::size_t key_length = read_u16(window.data() + entries.position);
    const std::size_t value_start = entries.position + 2 + key_length;
    if (value_start > window.size()) return DecodeStatus::InvalidData;
    const std::string_view key = text_at(window, entries.position + 2, key_length);
    if (!is_valid_text(key)) return DecodeStatus::InvalidData;
    if (!sink_.key(key)) return DecodeStatus::SinkFailed;

    const std::size_t size = encoded_data_size(window.subspan(value_start));
    if (size == 0 || size > window.size() - value_start) return DecodeStatus::InvalidData;
    const DecodeStatus status = value(window.subspan(value_start, size), depth + 1);
    if (status != DecodeStatus::Ok) return status;
    entries.position = value_start + size;
    --entries.remaining;
    return DecodeStatus::Ok;
  }

  Sink& sink_;
};

// Decodes the value at the start of `bytes` into a tree.
Result<json::Value, DeError> decode_value(Bytes bytes);

}  // namespace vorn

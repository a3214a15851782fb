// DataView: a borrowed, read-only view of encoded bytes that navigates them in
// place, without decoding and without allocating.
//
// A view starts at a valid tag byte and runs to the end of the enclosing
// buffer (not to the end of its own value: encoded_data_size() tells that).
// It stays valid as long as the buffer does. Every operation checks bounds and
// answers "absent" for malformed, truncated or mismatched input; none reads
// outside the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "value_format.hpp"
#include "value_store.hpp"

namespace vorn {

class DataView {
 public:
  // A view of all of `bytes`; absent when empty or not starting with a tag.
  static std::optional<DataView> from(Bytes bytes);

  // The value under `name` of an object. Keys are sorted, so the scan stops
  // at the first greater key.
  std::optional<DataView> field(std::string_view name) const;
  // The element at `index` of an array.
  std::optional<DataView> element(std::size_t index) const;

  // Scalars of the matching tag; a float is never read as an integer.
  std::optional<std::int64_t> as_i64() const;
  std::optional<std::string_view> as_str() const;  // absent unless valid UTF-8
  std::optional<bool> as_bool() const;

  Tag tag() const { return static_cast<Tag>(bytes_[0]); }
  // From the first byte of the value to the end of the enclosing buffer.
  Bytes bytes() const { return bytes_; }
  // The bytes of this value alone; empty when its size cannot be told or
  // runs past the buffer.
  Bytes value_bytes() const;

 private:
  explicit DataView(Bytes bytes) : bytes_(bytes) {}
  Bytes bytes_;
};

static_assert(ValueStore<DataView>);

}  // namespace vorn

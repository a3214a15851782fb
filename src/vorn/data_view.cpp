#include "data_view.hpp"

#include "base/utf8.hpp"

namespace vorn {

std::optional<std::int64_t> DataView::as_i64() const {
  if (bytes_.size() < 9 || tag() != Tag::Integer) return std::nullopt;
  return static_cast<std::int64_t>(read_u64(bytes_.data() + 1));
}

std::optional<std::string_view> DataView::as_str() const {
  if (bytes_.size() < kContainerHeaderSize || tag() != Tag::String) return std::nullopt;
  const std::size_t length = read_u16(bytes_.data() + 1);
  if (bytes_.size() < kContainerHeaderSize + length) return std::nullopt;
  const std::string_view text(reinterpret_cast<const char*>(bytes_.data() + kContainerHeaderSize),
                              length);
  if (!is_valid_utf8(text)) return std::nullopt;
  return text;
}

std::optional<bool> DataView::as_bool() const {
  if (bytes_.size() < 2 || tag() != Tag::Boolean) return std::nullopt;
  return bytes_[1] != 0;
}

}  // namespace vorn

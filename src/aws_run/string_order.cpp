#include "aws_run/string_order.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/utf8.hpp"

namespace vorn::aws {

namespace {

// Where the units of bytes that are not UTF-8 start: past any UTF-16 unit.
constexpr std::uint32_t kStrayByteUnits = 0x10000;

// Reads a string as UTF-16 code units, one character at a time.
class Utf16Units {
 public:
  Utf16Units(std::string_view text, std::size_t from) : text_(text), position_(from) {}

  bool done() const { return pending_ == 0 && position_ >= text_.size(); }

  std::uint32_t next() {
    if (pending_ != 0) {
      const std::uint32_t unit = pending_;
      pending_ = 0;
      return unit;
    }
    const Utf8Char c = decode_utf8(text_.substr(position_));
    if (c.length == 0) return kStrayByteUnits + static_cast<unsigned char>(text_[position_++]);
    position_ += c.length;
    if (c.code_point < 0x10000) return c.code_point;
    const std::uint32_t offset = c.code_point - 0x10000;
    pending_ = 0xDC00 + (offset & 0x3FF);
    return 0xD800 + (offset >> 10);
  }

 private:
  std::string_view text_;
  std::size_t position_;
  std::uint32_t pending_ = 0;  // the low surrogate still to hand out
};

bool is_continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::strong_ordering compare_utf16(std::string_view a, std::string_view b) {
  const std::size_t shared = std::min(a.size(), b.size());
  std::size_t first_difference = 0;
  while (first_difference < shared && a[first_difference] == b[first_difference]) {
    ++first_difference;
  }
  if (first_difference == a.size() || first_difference == b.size()) {
    return a.size() <=> b.size();
  }
  // Both strings agree up to here, so backing up to the start of the
  // character that holds the difference lands on the same place in each.
  // A well-formed character is at most four bytes long.
  std::size_t start = first_difference;
  while (start > 0 && first_difference - start < 3 && is_continuation(a[start])) --start;
  Utf16Units left(a, start);
  Utf16Units right(b, start);
  while (!left.done() && !right.done()) {
    const std::uint32_t l = left.next();
    const std::uint32_t r = right.next();
    if (l != r) return l <=> r;
  }
  return right.done() <=> left.done();
}

}  // namespace vorn::aws

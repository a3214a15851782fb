#include "payload_size.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace vorn::aws {

namespace {

constexpr std::uint64_t kEachByte = 0x0101010101010101;
constexpr std::uint64_t kHighBits = 0x8080808080808080;

// Whether any of the eight bytes is a control byte, '"' or '\\' (the
// classic word-at-a-time tests: exact for "any", which is all that is asked).
bool word_needs_escape(std::uint64_t word) {
  const auto has_zero_byte = [](std::uint64_t v) { return (v - kEachByte) & ~v & kHighBits; };
  const std::uint64_t below_space = (word - kEachByte * 0x20) & ~word & kHighBits;
  return (below_space | has_zero_byte(word ^ (kEachByte * '"')) |
          has_zero_byte(word ^ (kEachByte * '\\'))) != 0;
}

// Extra bytes one byte takes when escaped: '"', '\\' and \b \f \n \r \t are
// written with two characters, other control bytes as \u00XX.
std::size_t escape_extra(unsigned char byte) {
  if (byte >= 0x20) return byte == '"' || byte == '\\' ? 1 : 0;
  const bool short_escape =
      byte == '\b' || byte == '\f' || byte == '\n' || byte == '\r' || byte == '\t';
  return short_escape ? 1 : 5;
}

// Bytes of one string's JSON form: the quotes and each byte as written.
// Strings are scanned a word at a time: most need no escape at all.
std::size_t quoted_size(std::string_view text) {
  std::size_t size = text.size() + 2;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (!word_needs_escape(word)) continue;
    for (std::size_t j = i; j < i + 8; ++j)
      size += escape_extra(static_cast<unsigned char>(text[j]));
  }
  for (; i < text.size(); ++i) size += escape_extra(static_cast<unsigned char>(text[i]));
  return size;
}

std::size_t scalar_size(const Value& value) {
  switch (value.kind()) {
    case Kind::kNull:
      return 4;
    case Kind::kBool:
      return value.as_bool() ? 4 : 5;
    case Kind::kNumber:
      return value.number_text().size();
    case Kind::kString:
      return quoted_size(value.as_string());
    case Kind::kArray:
    case Kind::kObject:
      break;
  }
  return 0;
}

// A container being counted: its elements (members or items) and the next
// one to count. Payloads are rarely more than a few levels deep, so the
// first frames live on the stack.
struct Frame {
  const Member* members;  // null for an array
  const Value* items;
  std::size_t count;
  std::size_t next;
};

Frame frame_of(const Value& container) {
  if (container.is_object()) {
    const auto members = container.members();
    return {members.data(), nullptr, members.size(), 0};
  }
  const auto items = container.items();
  return {nullptr, items.data(), items.size(), 0};
}

class FrameStack {
 public:
  bool empty() const { return size_ == 0; }
  Frame& top() { return size_ <= kInline ? inline_[size_ - 1] : spill_.back(); }
  void push(Frame frame) {
    if (size_ < kInline) {
      inline_[size_] = frame;
    } else {
      spill_.push_back(frame);
    }
    ++size_;
  }
  void pop() {
    if (size_ > kInline) spill_.pop_back();
    --size_;
  }

 private:
  static constexpr std::size_t kInline = 16;
  std::array<Frame, kInline> inline_;  // only [0, size_) is ever read
  std::vector<Frame> spill_;
  std::size_t size_ = 0;
};

// Brackets or braces and the commas between the elements.
std::size_t frame_size(std::size_t count) {
  return 2 + (count == 0 ? 0 : count - 1);
}

bool is_container(const Value& value) {
  return value.is_array() || value.is_object();
}

}  // namespace

std::size_t compact_size_up_to(const Value& value, std::size_t bound) {
  if (!is_container(value)) return scalar_size(value);
  FrameStack stack;
  stack.push(frame_of(value));
  std::size_t size = frame_size(stack.top().count);
  while (!stack.empty() && size <= bound) {
    Frame& frame = stack.top();
    if (frame.next == frame.count) {
      stack.pop();
      continue;
    }
    const Value* element;
    if (frame.members != nullptr) {
      const Member& member = frame.members[frame.next];
      size += quoted_size(member.key) + 1;  // the key and its colon
      element = &member.value;
    } else {
      element = &frame.items[frame.next];
    }
    ++frame.next;
    if (is_container(*element)) {
      stack.push(frame_of(*element));
      size += frame_size(stack.top().count);
    } else {
      size += scalar_size(*element);
    }
  }
  return size;
}

}  // namespace vorn::aws

// A read-only RapidJSON input stream over exactly the bytes of a string_view.
// RapidJSON's own string stream stops at the first NUL byte, which a text
// from Python may hold; this one hands out a NUL from Peek() only at the real
// end, so a reader that stops short of Tell() == size met a NUL of the text.
// The viewed bytes must outlive the stream.
#pragma once
#include <cstddef>
#include <string_view>

namespace vorn::json {

class BoundedStream {
 public:
  using Ch = char;

  explicit BoundedStream(std::string_view text)
      : begin_(text.data()), pos_(text.data()), end_(text.data() + text.size()) {}

  Ch Peek() const { return pos_ == end_ ? '\0' : *pos_; }
  Ch Take() { return pos_ == end_ ? '\0' : *pos_++; }
  std::size_t Tell() const { return static_cast<std::size_t>(pos_ - begin_); }

  // Writing is never used by the reader on a read-only stream.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  std::size_t PutEnd(Ch*) { return 0; }

 private:
  const char* begin_;
  const char* pos_;
  const char* end_;
};

}  // namespace vorn::json

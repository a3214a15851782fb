// What every fuzz target shares: how a broken promise ends the run, and a
// reader that takes the fuzz input apart field by field.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorn_fuzz {

// A trap, not an assert: it fires in every build type, and libFuzzer keeps
// the input that reached it.
inline void check(bool promise) {
  if (!promise) __builtin_trap();
}

// Reads the fields of the input in order. Reads past the end give zeros or
// shorter runs, so every input, however short, builds a whole case.
class FuzzInput {
 public:
  explicit FuzzInput(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint8_t byte() { return position_ < bytes_.size() ? bytes_[position_++] : 0; }
  bool flag() { return byte() & 1; }

  std::span<const std::uint8_t> take(std::size_t count) {
    count = std::min(count, bytes_.size() - position_);
    const auto run = bytes_.subspan(position_, count);
    position_ += count;
    return run;
  }

  std::span<const std::uint8_t> rest() { return take(bytes_.size() - position_); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace vorn_fuzz

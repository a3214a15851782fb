// Location: where a value sits in a definition, as a chain of parent links
// living on the checker's stack. Nothing is built while checking; a chain
// becomes AWS's slash form ("/States/A/Choices[0]/Next") or a step list for
// finding its line and column only when a diagnostic is emitted there.
//
// A Location refers to its parent and to the member name it was made with;
// both must outlive it (the parent is a caller's frame, the name belongs to
// the parsed document or is a literal).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "aws_data/source_positions.hpp"

namespace vorn::aws {

class Location {
 public:
  // The definition's root, "/".
  Location() = default;

  Location member(std::string_view key) const { return Location(this, key, kNoIndex); }
  Location index(std::size_t i) const { return Location(this, {}, i); }

  // "/", "/States/A", "/States/P/Branches[0]/States/B".
  std::string render() const;
  SourcePath steps() const;

 private:
  static constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);
  Location(const Location* parent, std::string_view key, std::size_t index)
      : parent_(parent), key_(key), index_(index) {}

  const Location* parent_ = nullptr;
  std::string_view key_;
  std::size_t index_ = kNoIndex;
};

}  // namespace vorn::aws

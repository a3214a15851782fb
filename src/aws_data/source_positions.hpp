// Finding where values start in a JSON text, for diagnostics that name a
// value by its path from the root.
//
// All paths are looked up in one linear pass over the text, so a caller with
// many diagnostics pays one read, and a caller with none calls nothing. A
// path whose end is missing from the text resolves to the deepest value on it
// that exists (a missing field points at the object that lacks it). Where a
// member name repeats, the last one counts, as it does for the reader.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace vorn::aws {

// One step from a container to a value inside it. A member step views its
// name; the name must outlive the step.
struct SourceStep {
  std::string_view key;
  std::size_t index = 0;
  bool is_index = false;

  static SourceStep member(std::string_view key) { return {key, 0, false}; }
  static SourceStep element(std::size_t index) { return {{}, index, true}; }
};

using SourcePath = std::vector<SourceStep>;

// 1-based; columns count code points. {0, 0} when not even the root value
// exists (a blank or unreadable text).
struct SourcePosition {
  std::size_t line = 0;
  std::size_t column = 0;
  std::size_t offset = 0;  // byte offset, meaningful when line > 0
  friend bool operator==(const SourcePosition&, const SourcePosition&) = default;
};

// The position of each path's value (or its deepest existing prefix), in the
// order of `paths`. Reading stops at the first fault of the text; what was
// found before it stands.
std::vector<SourcePosition> find_source_positions(std::string_view text,
                                                  std::span<const SourcePath> paths);

}  // namespace vorn::aws

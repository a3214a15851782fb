// Path operations on encoded data: cut out the sub-value a ValuePath names,
// or build a new encoding with the sub-value at a path replaced. The
// dispatcher applies InputPath, OutputPath and ResultPath with these, so state
// data is never decoded into a tree.
//
// Inputs are borrowed and never modified; every result is a fresh byte vector
// owned by the caller. Failure is an absent result, never an error: the path
// does not resolve, the data is empty, truncated or corrupt, a placement would
// need an object or array element that does not exist, a key to add is not
// UTF-8, or the result would exceed a limit of the format (a count or body
// length over 65535, or arrays and objects nested deeper than
// kMaxNestingDepth, which no reader would accept).
// No operation reads outside its input, whatever the bytes.
//
// The new value given to a placement, and the values handed to
// encode_object/encode_array, are trusted to be single valid encodings and
// are copied verbatim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "vorn/ir/path.hpp"
#include "vorn/value_format.hpp"

namespace vorn {

// An entry to re-encode: its key and its encoded value, both borrowed.
struct ObjectEntry {
  std::string_view key;
  Bytes value;
};

// The walk behind nests_within(), for values too long to judge by size.
bool nests_within_by_walking(Bytes value, std::size_t levels);

// True when the value at the start of `value` holds at most `levels`
// levels of nested arrays and objects (a scalar holds none). Bytes that are
// not a whole value are not measured and count as fitting. Inline because
// every placement asks: a value too short to nest that deep (every level
// takes at least a container's prefix) costs one division; others are
// walked, without recursion.
inline bool nests_within(Bytes value, std::size_t levels) {
  return value.size() / kContainerPrefixSize <= levels || nests_within_by_walking(value, levels);
}

// A value to place that writes itself, for values that would otherwise be
// built in a buffer of their own only to be copied into the placed result.
class PlacedValue {
 public:
  // The size of its encoding, and writing exactly that many bytes at `out`;
  // write() returns the end of what it wrote.
  virtual std::size_t size() const = 0;
  virtual std::uint8_t* write(std::uint8_t* out) const = 0;
  // As the free function of that name, for the encoding write() produces.
  virtual bool nests_within(std::size_t levels) const = 0;

 protected:
  ~PlacedValue() = default;
};

// The exact bytes of the sub-value at `path` (no trailing bytes), viewed in
// place in `data`. Absent when the path does not resolve or the value there
// is cut short.
std::optional<Bytes> find_path(Bytes data, const ir::ValuePath& path);

// A copy of find_path()'s bytes. With an empty path: the root value alone,
// without any bytes that follow it in `data`.
std::optional<std::vector<std::uint8_t>> extract_path(Bytes data, const ir::ValuePath& path);

// The whole of `data` with the value at `path` replaced by `value`. A missing
// key is added, in key order, only at the last segment; intermediate objects
// are never created and arrays never grow. Only the containers on the path
// are re-encoded; everything beside them is copied as byte runs. With an
// empty path: a copy of `value`, whatever `data` holds.
std::optional<std::vector<std::uint8_t>> place_at_path(Bytes data, const ir::ValuePath& path,
                                                       Bytes value);
std::optional<std::vector<std::uint8_t>> place_bytes(Bytes data,
                                                     std::span<const ir::PathSegment> segments,
                                                     Bytes value);
std::optional<std::vector<std::uint8_t>> place_at_path(Bytes data, const ir::ValuePath& path,
                                                       const PlacedValue& value);

// An object of `entries`, written in the order given (the caller sorts them)
// and an array of `elements`. One allocation of exactly the result's size.
// Absent when a key, the count or the body would exceed 65535.
std::optional<std::vector<std::uint8_t>> encode_object(std::span<const ObjectEntry> entries);
std::optional<std::vector<std::uint8_t>> encode_array(std::span<const Bytes> elements);

// encode_object() in two halves, for callers that write the object into a
// larger buffer: its size (absent over the limits), then writing it.
std::optional<std::size_t> encoded_object_size(std::span<const ObjectEntry> entries);
std::uint8_t* write_object(std::span<const ObjectEntry> entries, std::size_t size,
                           std::uint8_t* out);

}  // namespace vorn

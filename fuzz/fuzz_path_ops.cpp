// Path operations on any bytes: a path, a new value and the data, all cut
// from the input. extract_path, find_path and place_at_path never read
// outside their inputs (the sanitizers see that); on data that decodes,
// whatever they return decodes too; and on canonical data (bytes that decode
// and encode again to themselves) they do exactly what the same operations
// on the decoded tree do, so a placement is absent only when the tree has no
// place for the value or the result would not fit the format.
//
// Input layout:
//   byte 0          number of segments (mod 6)
//   per segment     one byte s: odd s is Index(s >> 1); 0xFF is Index of the
//                   next two bytes (little-endian); even s is a Field whose
//                   name is the next ((s >> 1) & 15) bytes, whatever they are
//   two bytes       length L of the new value (little-endian)
//   L bytes         the new value (fewer if the input ends)
//   the rest        the data
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.hpp"
#include "fuzz_input.hpp"
#include "json/value.hpp"
#include "vorn/decoder.hpp"
#include "vorn/encode.hpp"
#include "vorn/ir/path.hpp"
#include "vorn/path_ops.hpp"

namespace {

using vorn_fuzz::check;
using vorn_fuzz::FuzzInput;
using vorn::Bytes;
using vorn::json::Value;
using vorn::ir::Field;
using vorn::ir::Index;
using vorn::ir::PathSegment;
using vorn::ir::ValuePath;
using Segments = std::vector<PathSegment>;
using ByteVector = std::vector<std::uint8_t>;

Segments read_path(FuzzInput& in) {
  Segments segments;
  const std::size_t count = in.byte() % 6;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t s = in.byte();
    if (s == 0xFF) {
      const std::uint16_t low = in.byte();
      segments.emplace_back(Index{static_cast<std::uint16_t>(low | (in.byte() << 8))});
    } else if (s & 1) {
      segments.emplace_back(Index{static_cast<std::uint16_t>(s >> 1)});
    } else {
      const Bytes name = in.take((s >> 1) & 15);
      segments.emplace_back(
          Field{std::string_view(reinterpret_cast<const char*>(name.data()), name.size())});
    }
  }
  return segments;
}

std::optional<Value> decoded(Bytes bytes) {
  auto value = vorn::decode_value(bytes);
  if (!value.ok()) return std::nullopt;
  return std::move(*value);
}

// Exactly the canonical encoding of a value: no trailing bytes, sorted
// unique keys, finite floats, booleans written as 0 or 1.
bool is_canonical(Bytes bytes, const std::optional<Value>& value) {
  if (!value) return false;
  const auto encoded = vorn::encode_value(*value);
  return encoded.ok() && std::equal(encoded->begin(), encoded->end(), bytes.begin(), bytes.end());
}

// The tree's answer to extract_path.
const Value* walk(const Value& root, std::span<const PathSegment> segments) {
  const Value* at = &root;
  for (const PathSegment& segment : segments) {
    if (const auto* field = std::get_if<Field>(&segment)) {
      if (!at->is_object()) return nullptr;
      at = at->as_object().find(field->name);
    } else {
      const std::size_t index = std::get<Index>(segment).index;
      if (!at->is_array() || index >= at->as_array().size()) return nullptr;
      at = &at->as_array()[index];
    }
    if (at == nullptr) return nullptr;
  }
  return at;
}

// The tree's answer to place_at_path: false when there is no place for the
// value. A key is added only at the last segment, and only a key that is
// text can be added.
bool place(Value& root, std::span<const PathSegment> segments, const Value& value) {
  if (segments.empty()) {
    root = value;
    return true;
  }
  const auto rest = segments.subspan(1);
  if (const auto* field = std::get_if<Field>(&segments.front())) {
    if (!root.is_object()) return false;
    if (Value* member = root.as_object().find(field->name)) return place(*member, rest, value);
    if (!rest.empty() || !vorn::is_valid_utf8(field->name)) return false;
    root.as_object().set(std::string(field->name), value);
    return true;
  }
  const std::size_t index = std::get<Index>(segments.front()).index;
  if (!root.is_array() || index >= root.as_array().size()) return false;
  return place(root.as_array()[index], rest, value);
}

// Levels of arrays and objects, as nests_within() counts them.
std::size_t levels(const Value& value) {
  std::size_t deepest = 0;
  if (value.is_array()) {
    for (const Value& element : value.as_array()) deepest = std::max(deepest, levels(element));
  } else if (value.is_object()) {
    for (const auto& member : value.as_object()) deepest = std::max(deepest, levels(member.value));
  } else {
    return 0;
  }
  return deepest + 1;
}

std::optional<ByteVector> extract(Bytes data, const Segments& segments) {
  return vorn::extract_path(data, ValuePath{segments});
}

// Every member beside the path, at every level the path passes through,
// reads the same before and after the placement.
void check_siblings(Bytes before, Bytes after, const Value& root, const Segments& segments) {
  Segments prefix;
  const Value* container = &root;
  for (const PathSegment& step : segments) {
    Segments sibling = prefix;
    sibling.emplace_back();
    std::size_t checked = 0;
    const auto same_at = [&](PathSegment member) {
      sibling.back() = member;
      const auto old_bytes = extract(before, sibling);
      check(old_bytes.has_value() && old_bytes == extract(after, sibling));
    };
    if (const auto* field = std::get_if<Field>(&step)) {
      for (const auto& member : container->as_object()) {
        if (member.key == field->name || ++checked > 32) continue;
        same_at(Field{member.key});
      }
      container = container->as_object().find(field->name);
    } else {
      const std::size_t index = std::get<Index>(step).index;
      const auto& elements = container->as_array();
      for (std::size_t i = 0; i < elements.size() && i < 32; ++i) {
        if (i != index) same_at(Index{static_cast<std::uint16_t>(i)});
      }
      container = &elements[index];
    }
    prefix.push_back(step);
    // A key added at the last segment has no old value to descend into.
    if (container == nullptr) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  FuzzInput in(Bytes(input, size));
  const Segments segments = read_path(in);
  const std::uint16_t low = in.byte();
  const std::size_t value_length = low | (in.byte() << 8);
  // Own copies of exactly their size, so a read past either is a read past
  // an allocation.
  const Bytes value_run = in.take(value_length);
  const ByteVector value(value_run.begin(), value_run.end());
  const Bytes data_run = in.rest();
  const ByteVector data(data_run.begin(), data_run.end());
  const ValuePath path{segments};

  const auto tree = decoded(data);
  // The decoder reads the root over the whole input, nested values over
  // their own sizes; what extraction cuts out is the root's own size, so
  // its promise needs the root alone to decode.
  const std::size_t root_size = vorn::encoded_data_size(data);
  const bool root_decodes = root_size != 0 && root_size <= data.size() &&
                            decoded(Bytes(data).first(root_size)).has_value();
  const auto new_tree = decoded(value);
  const bool canonical = is_canonical(data, tree);
  // A placement copies the new value verbatim: it must be one whole value.
  const bool value_whole = new_tree && vorn::encoded_data_size(value) == value.size();

  // Extraction: the view and the copy agree; on data that decodes the
  // result decodes; on canonical data it is the sub-tree's own encoding.
  const auto found = vorn::find_path(data, path);
  const auto extracted = vorn::extract_path(data, path);
  check(found.has_value() == extracted.has_value());
  if (found) {
    check(std::equal(found->begin(), found->end(), extracted->begin(), extracted->end()));
    check(found->data() >= data.data() && found->data() + found->size() <= data.data() + data.size());
    check(vorn::encoded_data_size(*found) == found->size());
    if (root_decodes) check(decoded(*found).has_value());
  }
  if (canonical) {
    const Value* sub = walk(*tree, segments);
    check((sub != nullptr) == extracted.has_value());
    if (sub != nullptr) {
      const auto expected = vorn::encode_value(*sub);
      check(expected.ok() && *expected == *extracted);
    }
  }

  // The nesting measure agrees with the tree of a canonical value (it
  // measures stored bytes, so a repeated key the tree dropped may only make
  // it count more), and reads nothing outside bytes that are no value.
  // Small bounds make it walk what it measures.
  const bool value_canonical = is_canonical(value, new_tree);
  const std::size_t value_levels = value_whole ? levels(*new_tree) : 0;
  for (const std::size_t bound : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{5},
                                  value_levels, value_levels > 0 ? value_levels - 1 : 0}) {
    const bool fits = vorn::nests_within(value, bound);
    if (value_whole && fits) check(value_levels <= bound);
    if (value_canonical) check(fits == (value_levels <= bound));
  }
  (void)vorn::nests_within(data, 3);

  const auto placed = vorn::place_at_path(data, path, value);
  if (segments.empty()) check(placed.has_value() && *placed == value);
  if (placed && tree && value_whole) check(decoded(*placed).has_value());
  if (!canonical || !value_canonical) return 0;

  // Canonical in, canonical out: the result is the encoding of the tree
  // with the value placed, or absent exactly when that tree cannot exist or
  // cannot be encoded (a 16-bit limit, or nesting beyond the format's).
  Value expected_tree = *tree;
  const bool has_place = place(expected_tree, segments, *new_tree);
  const auto expected = has_place ? vorn::encode_value(expected_tree)
                                  : decltype(vorn::encode_value(expected_tree))(
                                        vorn::fail(vorn::EncodeError{}));
  if (!placed) {
    check(!has_place || !expected.ok());
    return 0;
  }
  check(has_place && expected.ok());
  check(*expected == *placed);
  const auto back = extract(*placed, segments);
  check(back.has_value() && *back == value);
  check_siblings(data, *placed, *tree, segments);
  return 0;
}

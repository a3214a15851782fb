// The array functions: Array, ArrayPartition, ArrayContains, ArrayRange,
// ArrayGetItem, ArrayLength, ArrayUnique. Items are Values sharing their
// nodes, so slicing and gathering copy no payload data.
#include <cmath>
#include <cstring>
#include <functional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "aws_data/intrinsic_evaluation.hpp"
#include "aws_data/intrinsic_functions.hpp"
#include "aws_data/payload_size.hpp"

namespace vorn::aws::intrinsics {

namespace {

std::uint64_t mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

// A hash that agrees with Value's equality: numbers by their double value
// (so 1, 1.0 and 1e0 meet), object members in any order.
std::uint64_t value_hash(const Value& value) {
  const std::uint64_t kind = static_cast<std::uint64_t>(value.kind()) << 56;
  switch (value.kind()) {
    case Kind::kNull:
      return mix(kind);
    case Kind::kBool:
      return mix(kind | static_cast<std::uint64_t>(value.as_bool()));
    case Kind::kNumber: {
      double d = value.number_value();
      if (d == 0) d = 0;  // -0 equals 0
      std::uint64_t bits = 0;
      std::memcpy(&bits, &d, sizeof bits);
      return mix(kind ^ bits);
    }
    case Kind::kString:
      return mix(kind ^ std::hash<std::string_view>{}(value.as_string()));
    case Kind::kArray: {
      std::uint64_t h = kind;
      for (const Value& item : value.items()) h = mix(h * 31 + value_hash(item));
      return h;
    }
    case Kind::kObject: {
      std::uint64_t sum = 0;
      for (const Member& member : value.members()) {
        sum += mix(std::hash<std::string_view>{}(member.key) * 31 + value_hash(member.value));
      }
      return mix(kind ^ sum);
    }
  }
  return 0;
}

Value integers(std::span<const std::int64_t> numbers) {
  std::vector<Value> items;
  items.reserve(numbers.size());
  for (const std::int64_t n : numbers) items.push_back(Value::integer(n));
  return Value::array(std::move(items));
}

}  // namespace

Outcome array(const Arguments& args) {
  Value out = Value::array(std::vector<Value>(args.values.begin(), args.values.end()));
  VORN_TRY(within_value_limit(compact_size_up_to(out, kMaxIntrinsicValueBytes)));
  return out;
}

Outcome array_partition(const Arguments& args) {
  VORN_TRY_ASSIGN(const Value* items, argument_of_kind(args, 0, Kind::kArray));
  VORN_TRY_ASSIGN(const std::int64_t size, rounded_argument(args, 1, 1, kIntMax));
  const std::span<const Value> all = items->items();
  const auto chunk_size = static_cast<std::size_t>(size);
  std::vector<Value> chunks;
  chunks.reserve(all.size() / chunk_size + 1);
  for (std::size_t start = 0; start < all.size(); start += chunk_size) {
    const auto chunk = all.subspan(start, std::min(chunk_size, all.size() - start));
    chunks.push_back(Value::array(std::vector<Value>(chunk.begin(), chunk.end())));
  }
  return Value::array(std::move(chunks));
}

Outcome array_contains(const Arguments& args) {
  VORN_TRY_ASSIGN(const Value* items, argument_of_kind(args, 0, Kind::kArray));
  for (const Value& item : items->items()) {
    if (item == args[1]) return Value::boolean(true);
  }
  return Value::boolean(false);
}

Outcome array_range(const Arguments& args) {
  VORN_TRY_ASSIGN(const std::int64_t first, rounded_argument(args, 0, kIntMin, kIntMax));
  VORN_TRY_ASSIGN(const std::int64_t last, rounded_argument(args, 1, kIntMin, kIntMax));
  VORN_TRY_ASSIGN(const std::int64_t step, rounded_argument(args, 2, kIntMin, kIntMax));
  if (step == 0) return fail(std::string("the step must not be 0"));
  // Counting down with a step that goes up (or the reverse) gives nothing.
  const std::int64_t span = last - first;
  const std::int64_t count = (span == 0 || (span > 0) == (step > 0)) ? span / step + 1 : 0;
  if (count > static_cast<std::int64_t>(kMaxArrayRangeLength)) {
    return fail("the range would hold " + std::to_string(count) + " items, more than " +
                std::to_string(kMaxArrayRangeLength));
  }
  std::vector<std::int64_t> numbers;
  numbers.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) numbers.push_back(first + i * step);
  return integers(numbers);
}

Outcome array_get_item(const Arguments& args) {
  VORN_TRY_ASSIGN(const Value* items, argument_of_kind(args, 0, Kind::kArray));
  VORN_TRY_ASSIGN(const Value* index, argument_of_kind(args, 1, Kind::kNumber));
  const double position = index->number_value();
  if (position != std::floor(position)) {
    return fail("the index must be a whole number, not " + std::string(index->number_text()));
  }
  if (position < 0 || position >= static_cast<double>(items->size())) {
    return fail("the index " + std::string(index->number_text()) +
                " is out of range for an array of " + std::to_string(items->size()) +
                (items->size() == 1 ? " item" : " items"));
  }
  return items->items()[static_cast<std::size_t>(position)];
}

Outcome array_length(const Arguments& args) {
  VORN_TRY_ASSIGN(const Value* items, argument_of_kind(args, 0, Kind::kArray));
  return Value::integer(static_cast<std::int64_t>(items->size()));
}

// First occurrences in order. Hashing keeps a long array linear; equal
// hashes are confirmed by equality.
Outcome array_unique(const Arguments& args) {
  VORN_TRY_ASSIGN(const Value* items, argument_of_kind(args, 0, Kind::kArray));
  std::unordered_multimap<std::uint64_t, std::size_t> seen;
  std::vector<Value> kept;
  for (const Value& item : items->items()) {
    const std::uint64_t h = value_hash(item);
    const auto [begin, end] = seen.equal_range(h);
    bool repeated = false;
    for (auto it = begin; it != end && !repeated; ++it) repeated = kept[it->second] == item;
    if (repeated) continue;
    seen.emplace(h, kept.size());
    kept.push_back(item);
  }
  return Value::array(std::move(kept));
}

}  // namespace vorn::aws::intrinsics

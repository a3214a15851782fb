// The intrinsic functions themselves, grouped by what they work on, and the
// argument checks they share. Internal to the intrinsic evaluator: each
// function gets its arguments' values (their count already checked when the
// call was parsed) and gives its result, or the reason it cannot, in words
// that name the argument ("argument 2 of States.ArrayGetItem must be ...").
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "aws_data/intrinsic_call.hpp"
#include "aws_data/random_source.hpp"
#include "aws_data/value.hpp"
#include "base/result.hpp"

namespace vorn::aws::intrinsics {

struct Arguments {
  const IntrinsicCall& call;
  std::span<const Value> values;
  RandomSource& random;

  const Value& operator[](std::size_t index) const { return values[index]; }
};

using Outcome = Result<Value, std::string>;

// The argument at `index` when it is of kind `wanted`.
Result<const Value*, std::string> argument_of_kind(const Arguments& args, std::size_t index,
                                                   Kind wanted);

// A number argument rounded as AWS rounds them, halves towards +infinity,
// when the result lies in [min, max].
Result<std::int64_t, std::string> rounded_argument(const Arguments& args, std::size_t index,
                                                   std::int64_t min, std::int64_t max);

// The range of Java's int, which AWS's integer arguments live in.
inline constexpr std::int64_t kIntMin = -2'147'483'648;
inline constexpr std::int64_t kIntMax = 2'147'483'647;

// "the result would be longer than 262144 bytes", when `size` is.
Result<void, std::string> within_value_limit(std::size_t size);

// intrinsic_format.cpp
Outcome format(const Arguments& args);

// intrinsic_arrays.cpp
Outcome array(const Arguments& args);
Outcome array_partition(const Arguments& args);
Outcome array_contains(const Arguments& args);
Outcome array_range(const Arguments& args);
Outcome array_get_item(const Arguments& args);
Outcome array_length(const Arguments& args);
Outcome array_unique(const Arguments& args);

// intrinsic_encoding.cpp
Outcome base64_encode(const Arguments& args);
Outcome base64_decode(const Arguments& args);
Outcome hash(const Arguments& args);

// intrinsic_values.cpp
Outcome string_to_json(const Arguments& args);
Outcome json_to_string(const Arguments& args);
Outcome json_merge(const Arguments& args);
Outcome math_random(const Arguments& args);
Outcome math_add(const Arguments& args);
Outcome string_split(const Arguments& args);
Outcome uuid(const Arguments& args);

}  // namespace vorn::aws::intrinsics

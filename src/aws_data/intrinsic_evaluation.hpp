// Evaluating a parsed intrinsic call against the value its field reads and
// the context object.
//
// Arguments are evaluated left to right, nested calls first, then the
// function runs on their values. A path argument that finds nothing stops the
// call as any template path does; a function that cannot work on the values
// it got (a wrong kind, an index out of range, invalid Base64) fails with the
// reason in words. Everything random (States.UUID, States.MathRandom without
// a seed) draws from the caller's RandomSource, so a run replays for a seed.
//
// No value a call builds grows past kMaxIntrinsicValueBytes of compact JSON:
// a field holding calls is at most a state's payload, and a longer
// intermediate value could only make one run out of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "aws_data/intrinsic_call.hpp"
#include "aws_data/json_path.hpp"
#include "aws_data/random_source.hpp"
#include "aws_data/value.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// As large as a state's input or output may be.
inline constexpr std::size_t kMaxIntrinsicValueBytes = 262'144;

struct IntrinsicFailure {
  enum class Kind : std::uint8_t {
    kPathNotFound,  // a path argument found nothing (or was too costly to follow)
    kFunction,      // a function could not work on the values it was given
  };
  Kind kind = Kind::kFunction;
  // kPathNotFound: the argument's path, and what it missed.
  std::string path;
  PathMiss miss;
  // kFunction: the function that failed (the innermost one) and why, e.g.
  // "the index 5 is out of range for an array of 3 items".
  IntrinsicFunction function = IntrinsicFunction::kUUID;
  std::string reason;
};

// "The function States.ArrayGetItem failed: <reason>" for kFunction.
std::string describe_function_failure(const IntrinsicFailure& failure);

Result<Value, IntrinsicFailure> evaluate_intrinsic_call(const IntrinsicCall& call,
                                                        const Value& input, const Value& context,
                                                        RandomSource& random);

}  // namespace vorn::aws

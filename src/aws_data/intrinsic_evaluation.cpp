#include "aws_data/intrinsic_evaluation.hpp"

#include <array>
#include <cmath>
#include <vector>

#include "aws_data/intrinsic_functions.hpp"

namespace vorn::aws {

namespace intrinsics {

Result<const Value*, std::string> argument_of_kind(const Arguments& args, std::size_t index,
                                                   Kind wanted) {
  const Value& value = args[index];
  if (value.kind() != wanted) {
    return fail(wrong_argument_kind_message(args.call.function, index, wanted, value.kind()));
  }
  return &value;
}

Result<std::int64_t, std::string> rounded_argument(const Arguments& args, std::size_t index,
                                                   std::int64_t min, std::int64_t max) {
  VORN_TRY_ASSIGN(const Value* number, argument_of_kind(args, index, Kind::kNumber));
  const double rounded = std::floor(number->number_value() + 0.5);
  if (!(rounded >= static_cast<double>(min) && rounded <= static_cast<double>(max))) {
    return fail("argument " + std::to_string(index + 1) + " of " +
                std::string(intrinsic_function_name(args.call.function)) + " must be from " +
                std::to_string(min) + " to " + std::to_string(max) + ", not " +
                std::string(number->number_text()));
  }
  return static_cast<std::int64_t>(rounded);
}

Result<void, std::string> within_value_limit(std::size_t size) {
  if (size <= kMaxIntrinsicValueBytes) return {};
  return fail("the result would be longer than " + std::to_string(kMaxIntrinsicValueBytes) +
              " bytes");
}

}  // namespace intrinsics

namespace {

using Function = intrinsics::Outcome (*)(const intrinsics::Arguments&);

// Indexed by IntrinsicFunction.
constexpr std::array<Function, kIntrinsicFunctionCount> kFunctions = {
    intrinsics::format,       intrinsics::string_to_json,  intrinsics::json_to_string,
    intrinsics::array,        intrinsics::array_partition, intrinsics::array_contains,
    intrinsics::array_range,  intrinsics::array_get_item,  intrinsics::array_length,
    intrinsics::array_unique, intrinsics::base64_encode,   intrinsics::base64_decode,
    intrinsics::hash,         intrinsics::json_merge,      intrinsics::math_random,
    intrinsics::math_add,     intrinsics::string_split,    intrinsics::uuid,
};
static_assert(static_cast<std::size_t>(IntrinsicFunction::kUUID) + 1 == kFunctions.size());

// Recursion follows the nesting of calls, which the parser caps at
// kMaxIntrinsicCalls.
class CallEvaluator {
 public:
  CallEvaluator(const Value& input, const Value& context, RandomSource& random)
      : input_(input), context_(context), random_(random) {}

  Result<Value, IntrinsicFailure> evaluate(const IntrinsicCall& call) {
    std::vector<Value> values;
    values.reserve(call.arguments.size());
    for (const IntrinsicArgument& argument : call.arguments) {
      VORN_TRY_ASSIGN(Value value, argument_value(argument));
      values.push_back(std::move(value));
    }
    const Function function = kFunctions[static_cast<std::size_t>(call.function)];
    auto result = function(intrinsics::Arguments{call, values, random_});
    if (!result.ok()) {
      IntrinsicFailure failure;
      failure.function = call.function;
      failure.reason = std::move(result).error();
      return fail(std::move(failure));
    }
    return std::move(result).value();
  }

 private:
  Result<Value, IntrinsicFailure> argument_value(const IntrinsicArgument& argument) {
    switch (argument.kind) {
      case IntrinsicArgument::Kind::kLiteral:
        return argument.literal;
      case IntrinsicArgument::Kind::kCall:
        return evaluate(*argument.call);
      case IntrinsicArgument::Kind::kPath:
        break;
    }
    auto found = argument.path.evaluate(argument.path.is_context() ? context_ : input_);
    if (found.ok()) return std::move(found).value();
    IntrinsicFailure failure;
    failure.kind = IntrinsicFailure::Kind::kPathNotFound;
    failure.path = std::string(argument.path.text());
    failure.miss = std::move(found).error();
    return fail(std::move(failure));
  }

  const Value& input_;
  const Value& context_;
  RandomSource& random_;
};

}  // namespace

std::string describe_function_failure(const IntrinsicFailure& failure) {
  return "The function " + std::string(intrinsic_function_name(failure.function)) +
         " failed: " + failure.reason;
}

Result<Value, IntrinsicFailure> evaluate_intrinsic_call(const IntrinsicCall& call,
                                                        const Value& input, const Value& context,
                                                        RandomSource& random) {
  return CallEvaluator(input, context, random).evaluate(call);
}

}  // namespace vorn::aws

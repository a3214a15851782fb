// IntrinsicCall: the text of an intrinsic function call ("States.Format('x={}',
// $.x)") read once, when the definition is created, into a tree that an
// evaluator walks without looking at the text again.
//
// Parsing refuses what AWS refuses at creation time: unknown functions, wrong
// argument counts, bad escapes, more than kMaxIntrinsicCalls calls in one
// field, and literal arguments that could never work (a literal where an array
// is needed, an unknown hash algorithm). Whatever depends on the data is left
// to evaluation.
//
// A call owns its arguments; nested calls are shared, immutable nodes, so
// copying a call is cheap and the copies may outlive the text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aws_data/json_path.hpp"
#include "aws_data/value.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// At most this many calls, nested ones included, in one field.
inline constexpr std::size_t kMaxIntrinsicCalls = 10;
// Longest strings States.Base64Encode, Base64Decode and Hash take, in characters.
inline constexpr std::size_t kMaxIntrinsicStringLength = 10'000;
// Longest array States.ArrayRange builds.
inline constexpr std::size_t kMaxArrayRangeLength = 1'000;
// What States.Hash's second argument may name.
inline constexpr std::array<std::string_view, 5> kHashAlgorithms = {"MD5", "SHA-1", "SHA-256",
                                                                    "SHA-384", "SHA-512"};

enum class IntrinsicFunction : std::uint8_t {
  kFormat,
  kStringToJson,
  kJsonToString,
  kArray,
  kArrayPartition,
  kArrayContains,
  kArrayRange,
  kArrayGetItem,
  kArrayLength,
  kArrayUnique,
  kBase64Encode,
  kBase64Decode,
  kHash,
  kJsonMerge,
  kMathRandom,
  kMathAdd,
  kStringSplit,
  kUUID,
};
inline constexpr std::size_t kIntrinsicFunctionCount = 18;

// "States.Format", ...
std::string_view intrinsic_function_name(IntrinsicFunction function);
// The function a full name ("States.Format") stands for; names are case-sensitive.
std::optional<IntrinsicFunction> intrinsic_function_named(std::string_view name);

// How many arguments a function takes; `max` is SIZE_MAX for no limit.
struct IntrinsicArity {
  std::size_t min = 0;
  std::size_t max = 0;
};
IntrinsicArity intrinsic_arity(IntrinsicFunction function);

struct IntrinsicCall;

struct IntrinsicArgument {
  enum class Kind : std::uint8_t {
    kLiteral,  // a quoted string (escapes resolved), a number, true, false or null
    kPath,     // $... on the template's input, or $$... on the context object
    kCall,     // a nested call
  };
  Kind kind = Kind::kLiteral;
  Value literal;                              // kLiteral
  JsonPath path;                              // kPath
  std::shared_ptr<const IntrinsicCall> call;  // kCall, never null then
  std::size_t position = 0;                   // byte offset of the argument in the text
};

// States.Format's template when it is written as a literal: the text between
// its placeholders, escapes resolved, so evaluation interleaves pieces and
// values without scanning again. There is one more piece than placeholders.
struct FormatTemplate {
  std::vector<std::string> pieces;
  std::size_t placeholders() const { return pieces.size() - 1; }
};

struct IntrinsicCall {
  IntrinsicFunction function = IntrinsicFunction::kUUID;
  std::vector<IntrinsicArgument> arguments;
  // Set for States.Format whose first argument is a literal.
  std::optional<FormatTemplate> format;
  std::size_t position = 0;  // byte offset of the function name in the text
};

struct IntrinsicParseError {
  std::string message;
  std::size_t position = 0;  // byte offset in the text
};

// "{message} at position P".
std::string to_string(const IntrinsicParseError& error);

// The whole of `text` must be one call: no space before the name or after the
// closing parenthesis.
Result<IntrinsicCall, IntrinsicParseError> parse_intrinsic_call(std::string_view text);

// A name of [A-Za-z0-9._] directly followed by '(': text written as a call,
// whether or not it parses. Tells an attempted call from a path.
bool looks_like_intrinsic_call(std::string_view text);

// "argument 2 of States.ArrayGetItem must be a number, not a string": the
// same words whether the checker sees a literal or a run meets the data.
std::string wrong_argument_kind_message(IntrinsicFunction function, std::size_t index, Kind wanted,
                                        Kind got);

// Text length as these functions count it: in code points.
std::size_t code_point_count(std::string_view text);

// Whether any path argument in the tree is a "$$" path.
bool call_reads_context(const IntrinsicCall& call);

// All calls in the tree, `call` included.
std::size_t count_calls(const IntrinsicCall& call);

}  // namespace vorn::aws

// JsonPath: a JSONPath expression parsed once into steps and evaluated many
// times, with the Jayway semantics AWS Step Functions uses.
//
// A path is definite when it holds only member names and single indices; it
// then yields one value or a PathMiss saying what was missing. Any other path
// (wildcards, deep scan, slices, unions, filters) yields an array of the
// matches in document order, [] when nothing matches, and fails only when it
// would visit more than kMaxPathWork values.
// A path starting with "$$" is a context path: it parses like the rest of the
// expression after the first '$', and the caller evaluates it against the
// context object instead of the input.
//
// A JsonPath owns its steps; evaluation copies matched values out (cheap:
// values share their nodes), so results outlive the document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aws_data/value.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// Longer paths are refused: evaluation and placement walk them by recursion.
inline constexpr std::size_t kMaxPathSteps = 256;

// The most values one evaluation may visit or match. Deep scans of deep
// scans grow with the document's size to the power of their count; past
// this an indefinite path fails instead of returning its (huge) array. A
// 256 KiB payload holds fewer than 140 000 values, so no sound path nears it.
inline constexpr std::size_t kMaxPathWork = 1'000'000;

enum class FilterOp : std::uint8_t { kExists, kEq, kNe, kLt, kLe, kGt, kGe };

struct Filter;

struct PathStep {
  enum class Kind : std::uint8_t {
    kMember,       // .name or ['name']
    kIndex,        // [n] or [-n]
    kMembers,      // ['a','b']
    kIndices,      // [0,1]
    kSlice,        // [a:b], either end optional
    kWildcard,     // .* or [*]
    kFilter,       // [?(...)]
  };
  Kind kind = Kind::kMember;
  bool deep = false;  // preceded by "..": applies to the node and every descendant
  std::vector<std::string> names;      // kMember (one), kMembers
  std::vector<std::int64_t> indices;   // kIndex (one), kIndices
  std::optional<std::int64_t> from, to;  // kSlice
  std::vector<Filter> filter;  // kFilter: comparisons joined by "&&"
};

// One `@...` test inside `[?( )]`. The right-hand side is a literal or a
// path of members and indices on the candidate ('@') or on the document
// ('$'). A bare word (`@.Name == Receipt`) is read as the string it spells:
// definitions AWS accepts are written that way.
struct Filter {
  enum class OperandSource : std::uint8_t { kLiteral, kCandidate, kDocument };
  std::vector<PathStep> subject;  // members and indices after '@'
  FilterOp op = FilterOp::kExists;
  OperandSource operand_source = OperandSource::kLiteral;
  Value operand;  // kLiteral: null, bool, number or string; unused for kExists
  std::vector<PathStep> operand_path;  // kCandidate / kDocument
};

struct PathParseError {
  std::string message;
  std::size_t position = 0;  // byte offset in the expression
};

// "{message} at position P"; quoting the expression is the caller's choice.
std::string to_string(const PathParseError& error);

// What a definite path could not find, in the words Jayway uses.
struct PathMiss {
  enum class Kind : std::uint8_t {
    kNoResults,        // the last step found nothing
    kMissingProperty,  // a member before the last was missing
    kNotAnObject,      // a member step met something else
    kNotAnArray,       // an index step met something else
    kIndexOutOfRange,  // an index before the last was out of range
    kTooMuchWork,      // an indefinite path visited more than kMaxPathWork values
  };
  Kind kind = Kind::kNoResults;
  // Bracket form ($['a'][0]): the whole path for kNoResults; up to and
  // including the missing member or index for kMissingProperty and
  // kIndexOutOfRange; up to the value that was of the wrong kind otherwise.
  std::string path;
  std::string step;    // the failing step in bracket form, e.g. ['b'] or [3]
  aws::Kind found = aws::Kind::kNull;  // for kNotAnObject / kNotAnArray
};

// "No results for path: $['a']", "Missing property in path $['no']", ...
std::string to_string(const PathMiss& miss);

class JsonPath {
 public:
  static Result<JsonPath, PathParseError> parse(std::string_view expression);

  std::string_view text() const { return text_; }
  bool is_context() const { return context_; }
  bool is_definite() const { return definite_; }
  const std::vector<PathStep>& steps() const { return steps_; }
  // The bracket form of the whole path: $['a'][0]['b'].
  std::string bracket_form() const;

  // A definite path's value, or what was missing. An indefinite path always
  // succeeds with an array of its matches.
  Result<Value, PathMiss> evaluate(const Value& document) const;
  // A definite path's value in `document`, or null when it names nothing
  // there or the path is not definite. Builds nothing (no copy, no text); the
  // pointer is valid while `document` is alive and unchanged.
  const Value* find_in(const Value& document) const;

 private:
  std::string text_;
  bool context_ = false;
  bool definite_ = true;
  std::vector<PathStep> steps_;
};

// A path that names exactly one place in the input: definite and not "$$".
bool is_reference_path(std::string_view expression);

// "$" followed by steps ".name" (names of [A-Za-z0-9_]) and "[n]" (n a
// non-negative index): the shape of nearly every path in a definition, a
// valid reference path, told without a parse.
// False says nothing: the text may still be a valid path of another shape.
bool is_plain_path(std::string_view expression);

// The bracket form of one member or index step.
std::string bracket_member(std::string_view name);
std::string bracket_index(std::int64_t index);

}  // namespace vorn::aws

// JsonPath: a restricted JSONPath expression, `$` (the input) or `$$` (the
// context object) followed by field steps (`.name`, `['name']`, `["name"]`)
// and index steps (`[3]`), parsed once and resolved against JSON value trees.
//
// Parsing reports the first problem only, at the byte offset where it was
// found (also inside multi-byte text), and never skips over a bad step.
// Resolving never fails: a step that does not fit the value (wrong container,
// missing key, index out of range) makes the target absent.
//
// Expressions are UTF-8. A byte that does not start a valid UTF-8 sequence is
// reported as U+FFFD where a character is named.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "json/value.hpp"

namespace xvorn {

// Which document a path starts from; the resolver leaves that choice to its
// caller.
enum class PathRoot : std::uint8_t { Input, Context };

struct Field {
  std::string name;
  friend bool operator==(const Field&, const Field&) = default;
};

struct Index {
  std::uint64_t index;
  friend bool operator==(const Index&, const Index&) = default;
};

using Segment = std::variant<Field, Index>;

enum class JsonPathErrorKind : std::uint8_t {
  EmptyExpression,
  MissingRoot,
  UnexpectedCharacter,
  UnterminatedBracket,
  UnterminatedString,
  EmptyBracketExpression,
  InvalidIndex,
  EmptyFieldName,
};

struct JsonPathError {
  std::size_t position;  // byte offset into the expression
  JsonPathErrorKind kind;
  char32_t character = 0;  // the offending character, for UnexpectedCharacter only

  friend bool operator==(const JsonPathError&, const JsonPathError&) = default;
};

// "JsonPathError { position: 1, kind: UnexpectedCharacter('x') }".
std::string to_string(const JsonPathError& error);

// The value `segments` lead to inside `value`, or null; see JsonPath::resolve.
const vorn::json::Value* resolve_segments(std::span<const Segment> segments,
                                          const vorn::json::Value& value);

class JsonPath {
 public:
  JsonPath(PathRoot root, std::vector<Segment> segments)
      : root_(root), segments_(std::move(segments)) {}

  static vorn::Result<JsonPath, JsonPathError> parse(std::string_view expression);

  PathRoot root() const { return root_; }
  const std::vector<Segment>& segments() const { return segments_; }

  // The value the segments lead to inside `value`, or null. The result points
  // into `value` and lives as long as it is not changed.
  const vorn::json::Value* resolve(const vorn::json::Value& value) const {
    return resolve_segments(segments_, value);
  }

  friend bool operator==(const JsonPath&, const JsonPath&) = default;

 private:
  PathRoot root_;
  std::vector<Segment> segments_;
};

// "JsonPath { root: Input, segments: [Field(\"a\"), Index(0)] }".
std::string to_string(const JsonPath& path);

}  // namespace xvorn

// ChoiceProgram: the rules of one Choice state in the form they are run in,
// built once from the checked definition and evaluated on every visit.
//
// Each choice's rule is a tree of And / Or / Not over tests, stored flat in
// the order it is written (a node's children follow it; `end` is one past its
// subtree, `parent` leads back up), so evaluating it needs neither recursion
// nor a stack, and a program's memory is a handful of vectors.
// A test holds what can be prepared ahead: the Variable parsed as a JsonPath,
// a timestamp literal parsed, a StringMatches pattern split into its pieces,
// a ...Path operand parsed.
//
// A ChoiceProgram owns everything in it and never changes once built; it is
// built only through ChoiceProgramBuilder, which refuses malformed trees.
// The next states are kept by name; the interpreter maps them to its states.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "aws_data/json_path.hpp"
#include "aws_data/timestamp.hpp"
#include "aws_data/value.hpp"
#include "aws_run/string_pattern.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// What a test checks of the value at its Variable. The families with an
// order (String, Numeric, Timestamp) take their relation from a
// ChoiceComparison; the others leave it at kEquals.
enum class ChoiceTestKind : std::uint8_t {
  kString,
  kStringMatches,
  kNumeric,
  kBoolean,
  kTimestamp,
  kIsNull,
  kIsPresent,
  kIsNumeric,
  kIsString,
  kIsBoolean,
  kIsTimestamp,
};

enum class ChoiceComparison : std::uint8_t {
  kEquals,
  kLessThan,
  kGreaterThan,
  kLessThanEquals,
  kGreaterThanEquals,
};

// The right-hand side of a test:
//   Value          the literal of a String, Numeric or Boolean test (a
//                  string, a number, a boolean), or the boolean an Is... test
//                  expects;
//   Timestamp      the literal of a Timestamp test, parsed;
//   StringPattern  the pattern of StringMatches;
//   JsonPath       the operand of a ...Path operator, read from the input
//                  (or from the context object for "$$") at each evaluation.
using ChoiceOperand = std::variant<Value, Timestamp, StringPattern, JsonPath>;

struct ChoiceTest {
  ChoiceTestKind kind = ChoiceTestKind::kIsPresent;
  ChoiceComparison comparison = ChoiceComparison::kEquals;
  JsonPath variable;
  ChoiceOperand operand;
};

inline constexpr std::uint32_t kNoParent = UINT32_MAX;

struct ChoiceNode {
  enum class Kind : std::uint8_t { kAnd, kOr, kNot, kTest };
  Kind kind = Kind::kTest;
  std::uint32_t end = 0;             // one past the last node of this subtree
  std::uint32_t parent = kNoParent;  // kNoParent for the root of a choice's rule
  std::uint32_t test = 0;            // kTest: the index in tests()
};

struct Choice {
  std::uint32_t root = 0;  // the index of the rule's first node
  std::string next;
};

class ChoiceProgram {
 public:
  const std::vector<Choice>& choices() const { return choices_; }
  const std::vector<ChoiceNode>& nodes() const { return nodes_; }
  const std::vector<ChoiceTest>& tests() const { return tests_; }
  const std::optional<std::string>& default_next() const { return default_next_; }

 private:
  friend class ChoiceProgramBuilder;
  std::vector<Choice> choices_;
  std::vector<ChoiceNode> nodes_;
  std::vector<ChoiceTest> tests_;
  std::optional<std::string> default_next_;
};

// Builds a ChoiceProgram one rule at a time, in the order the rule is
// written:
//
//   builder.begin_choice("Public");
//   builder.open(ChoiceNode::Kind::kNot);
//   builder.add_test(std::move(test));
//   builder.close();
//   builder.end_choice();
//   auto program = std::move(builder).finish();
//
// A call out of place (a second root, a close with nothing open, a Not
// without exactly one rule, an empty And or Or, a test whose operand does not
// fit its kind) is remembered, and finish() returns the first one.
class ChoiceProgramBuilder {
 public:
  void begin_choice(std::string next);
  // Opens an And, Or or Not; the nodes added until the matching close() are
  // its rules.
  void open(ChoiceNode::Kind kind);
  void add_test(ChoiceTest test);
  void close();
  void end_choice();
  void set_default(std::string next);

  // False once a call was out of place.
  bool ok() const { return !problem_.has_value(); }
  Result<ChoiceProgram, std::string> finish() &&;

 private:
  struct OpenNode {
    std::uint32_t index;
    std::uint32_t children;
  };
  // Appends a node under the innermost open one; false after a misuse.
  bool append(ChoiceNode node);
  void misuse(std::string problem);

  ChoiceProgram program_;
  std::vector<OpenNode> open_;
  bool in_choice_ = false;
  bool has_root_ = false;
  std::optional<std::string> problem_;
};

}  // namespace vorn::aws

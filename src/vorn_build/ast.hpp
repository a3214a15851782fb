// The parsed form of a definition. It records what the text says, shape-checked
// but not yet validated: names may dangle, Next and End may both be set, paths
// and templates are unchecked. It owns everything it holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "json/value.hpp"

namespace vorn::build {

// The three ways ResultPath can be written.
struct ResultPathUnset {};
struct ResultPathText {
  std::string path;
};
struct ResultPathNull {};
using ResultPathAst = std::variant<ResultPathUnset, ResultPathText, ResultPathNull>;

struct RetryAst {
  std::vector<std::string> error_equals;
  std::optional<std::uint32_t> interval_seconds;
  std::optional<std::uint32_t> max_attempts;
  std::optional<float> backoff_rate;
};

struct CatchAst {
  std::vector<std::string> error_equals;
  std::string next;
};

struct NumericEqualsOp {
  std::int64_t value;
  bool operator==(const NumericEqualsOp&) const = default;
};
struct StringEqualsOp {
  std::string value;
  bool operator==(const StringEqualsOp&) const = default;
};
struct BooleanEqualsOp {
  bool value;
  bool operator==(const BooleanEqualsOp&) const = default;
};
using ChoiceOperator = std::variant<NumericEqualsOp, StringEqualsOp, BooleanEqualsOp>;

struct ChoiceRuleAst {
  std::string variable;
  std::string next;
  ChoiceOperator op;
};

struct TaskStateAst {
  std::string resource;
  std::optional<json::Value> parameters;
  std::optional<json::Value> result_selector;
  std::optional<std::string> input_path;
  std::optional<std::string> output_path;
  ResultPathAst result_path;
  std::optional<std::string> next;
  bool end = false;
  std::vector<RetryAst> retry;
  std::vector<CatchAst> catch_;
  std::optional<std::string> comment;
};

struct PassStateAst {
  std::optional<json::Value> result;
  std::optional<json::Value> parameters;
  std::optional<std::string> input_path;
  std::optional<std::string> output_path;
  ResultPathAst result_path;
  std::optional<std::string> next;
  bool end = false;
  std::optional<std::string> comment;
};

struct ChoiceStateAst {
  std::vector<ChoiceRuleAst> choices;
  std::optional<std::string> default_;
  std::optional<std::string> comment;
};

struct SucceedStateAst {
  std::optional<std::string> comment;
};

struct FailStateAst {
  std::optional<std::string> error;
  std::optional<std::string> cause;
  std::optional<std::string> comment;
};

using StateAst =
    std::variant<TaskStateAst, PassStateAst, ChoiceStateAst, SucceedStateAst, FailStateAst>;

struct NamedState {
  std::string name;
  StateAst state;
};

struct AslAst {
  std::string start_at;
  // Sorted by name bytes, names unique: the order in which every later stage
  // visits states.
  std::vector<NamedState> states;
  std::optional<std::string> comment;

  // Position of the named state in `states`, which is also its id.
  std::optional<std::size_t> state_index(std::string_view name) const;
  bool has_state(std::string_view name) const { return state_index(name).has_value(); }
};

// The positions of an AST's states by name, found in constant time, for the
// passes that look up every transition (validation, lowering); the AST's
// own state_index() searches its sorted names instead. Refers to the AST,
// whose states must not change while the index is in use.
class StateIndex {
 public:
  explicit StateIndex(const AslAst& ast);

  std::optional<std::size_t> find(std::string_view name) const;
  bool contains(std::string_view name) const { return find(name).has_value(); }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;

  const AslAst& ast_;
  // Open addressing: each slot holds a state position or kEmpty; the table
  // is at least twice as large as the number of states.
  std::vector<std::uint32_t> slots_;
  std::size_t mask_ = 0;
};

}  // namespace vorn::build

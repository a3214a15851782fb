// Definition: the syntax tree of a state machine definition in the AWS
// dialect, as the checker hands it out once no error was found.
//
// Everything here is plain owned data (strings, vectors, Values sharing their
// nodes with the parsed document), so a Definition may be copied and outlives
// the text it was read from. Fields keep what the definition says, with the
// defaults AWS applies filled in where a default exists (retriers,
// catchers); a field without a default stays absent (std::nullopt).
// Payload templates (Parameters, ResultSelector, ItemSelector, Credentials)
// are kept as the Values written; they are compiled where they are run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "aws_build/choice_rule.hpp"
#include "aws_data/value.hpp"

namespace vorn::aws {

enum class StateType : std::uint8_t {
  kTask, kWait, kPass, kSucceed, kFail, kChoice, kParallel, kMap
};

// "Task", "Wait", ...
std::string_view state_type_name(StateType type);

enum class QueryLanguage : std::uint8_t { kJsonPath, kJsonata };

// InputPath, OutputPath and ResultPath mean three different things when
// absent (the default "$"), null (an empty object in, or the result dropped)
// and given as a path; this keeps the three apart.
class PathField {
 public:
  enum class Kind : std::uint8_t { kAbsent, kNull, kPath };

  PathField() = default;
  static PathField null() { return PathField(Kind::kNull, {}); }
  static PathField path(std::string text) { return PathField(Kind::kPath, std::move(text)); }

  Kind kind() const { return kind_; }
  bool is_absent() const { return kind_ == Kind::kAbsent; }
  bool is_null() const { return kind_ == Kind::kNull; }
  bool has_path() const { return kind_ == Kind::kPath; }
  // The path text; empty unless has_path().
  const std::string& text() const { return text_; }

  friend bool operator==(const PathField&, const PathField&) = default;

 private:
  PathField(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  Kind kind_ = Kind::kAbsent;
  std::string text_;
};

enum class JitterStrategy : std::uint8_t { kNone, kFull };

struct Retrier {
  std::vector<std::string> error_equals;
  std::int64_t interval_seconds = 1;
  std::int64_t max_attempts = 3;
  double backoff_rate = 2.0;
  std::optional<std::int64_t> max_delay_seconds;
  JitterStrategy jitter = JitterStrategy::kNone;
};

struct Catcher {
  std::vector<std::string> error_equals;
  std::string next;
  PathField result_path;
};

// Where a state goes next: a state of the same scope, or nowhere (End).
struct Transition {
  std::string next;  // empty when end
  bool end = false;
};

// The data-flow fields most state types share; each type uses a subset.
struct DataFlow {
  PathField input_path;
  PathField output_path;
  PathField result_path;
  std::optional<Value> parameters;
  std::optional<Value> result_selector;
};

struct State;

// A sequence of states with its own start: the machine itself, a Parallel
// branch or a Map's item processor. Transitions never leave a scope.
struct Scope {
  std::string start_at;
  std::vector<State> states;  // in definition order
};

struct TaskState {
  std::string resource;
  DataFlow flow;
  std::optional<std::int64_t> timeout_seconds;
  std::optional<std::string> timeout_seconds_path;
  std::optional<std::int64_t> heartbeat_seconds;
  std::optional<std::string> heartbeat_seconds_path;
  std::optional<Value> credentials;
  std::vector<Retrier> retry;
  std::vector<Catcher> catch_;
  Transition transition;
};

struct PassState {
  std::optional<Value> result;
  DataFlow flow;  // no result_selector
  Transition transition;
};

struct ChoiceState {
  std::vector<ChoiceRule> choices;
  std::optional<std::string> default_target;
  DataFlow flow;  // input and output paths only
};

struct WaitState {
  std::optional<std::int64_t> seconds;
  std::optional<std::string> timestamp;
  std::optional<std::string> seconds_path;
  std::optional<std::string> timestamp_path;
  DataFlow flow;  // input and output paths only
  Transition transition;
};

struct SucceedState {
  DataFlow flow;  // input and output paths only
};

struct FailState {
  std::optional<std::string> error;
  std::optional<std::string> error_path;  // a reference path or an intrinsic call
  std::optional<std::string> cause;
  std::optional<std::string> cause_path;
};

struct ParallelState {
  std::vector<Scope> branches;
  DataFlow flow;
  std::vector<Retrier> retry;
  std::vector<Catcher> catch_;
  Transition transition;
};

enum class MapMode : std::uint8_t { kInline, kDistributed };

struct MapState {
  Scope processor;           // ItemProcessor, or the legacy Iterator
  bool legacy_iterator = false;
  MapMode mode = MapMode::kInline;
  std::optional<std::string> execution_type;  // distributed: "STANDARD" or "EXPRESS"
  std::optional<std::string> items_path;
  std::optional<Value> item_selector;  // ItemSelector, or the legacy Parameters
  std::optional<std::int64_t> max_concurrency;
  std::optional<std::string> max_concurrency_path;
  std::optional<std::int64_t> tolerated_failure_count;
  std::optional<std::string> tolerated_failure_count_path;
  std::optional<double> tolerated_failure_percentage;
  std::optional<std::string> tolerated_failure_percentage_path;
  std::optional<Value> item_reader;
  std::optional<Value> item_batcher;
  std::optional<Value> result_writer;
  std::optional<std::string> label;
  DataFlow flow;  // parameters unused: see item_selector
  std::vector<Retrier> retry;
  std::vector<Catcher> catch_;
  Transition transition;
};

struct State {
  std::string name;
  StateType type = StateType::kPass;
  QueryLanguage query_language = QueryLanguage::kJsonPath;
  std::optional<std::string> comment;
  // The state's object as written. A JSONata state's fields are kept only
  // here: this toolkit does not run them, so they are not read into `fields`.
  Value source;
  std::variant<TaskState, PassState, ChoiceState, WaitState, SucceedState, FailState,
               ParallelState, MapState>
      fields;
};

struct Definition {
  std::optional<std::string> comment;
  std::optional<std::string> version;
  std::optional<std::int64_t> timeout_seconds;
  QueryLanguage query_language = QueryLanguage::kJsonPath;
  Scope scope;
};

// Every state's name, nested scopes included: each state, then the states of
// its branches or processor, in definition order.
std::vector<std::string> all_state_names(const Definition& definition);

}  // namespace vorn::aws

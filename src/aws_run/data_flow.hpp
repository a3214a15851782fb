// StateDataFlow and the steps that move data through one state: InputPath,
// Parameters, (the state's work), ResultSelector, ResultPath, OutputPath and
// the payload size limit, in the order AWS Step Functions applies them.
//
// A StateDataFlow is built once per state when a definition is lowered: its
// paths are parsed and its templates compiled there, so a step only walks
// ready trees. It is immutable while runs use it and may be shared by any
// number of them. The step functions take payloads by const reference (or
// by value where they consume one) and return new ones that share every node
// they did not change; nothing here keeps a reference after returning.
//
// Every step takes the context object for "$$" paths. Building it costs a few
// allocations, so a caller may pass null instead when reads_context is false.
// Steps that evaluate a template take the execution's RandomSource too, for
// the intrinsic functions that draw from it.
//
// Payloads travel as SizedValues: a value with an upper bound on the size
// of its compact JSON text. Each step derives its output's bound from its
// inputs' (a placement adds the result's bound and the path's keys; a
// definite selection keeps the bound), so the size limit is checked by
// arithmetic, and a payload is measured only where a bound is unknown (a
// template's output, an indefinite path) or comes near the limit. A state
// that passes a large payload along thus costs no more than one passing a
// small one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "aws_data/json_path.hpp"
#include "aws_data/payload_template.hpp"
#include "aws_data/random_source.hpp"
#include "aws_data/value.hpp"
#include "aws_run/data_flow_failure.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// InputPath, OutputPath or ResultPath (a state's or a catcher's). Absent
// means "$"; null means "{}" for InputPath and OutputPath and "drop the
// result" for ResultPath, so the three are kept apart.
struct PathSetting {
  enum class Kind : std::uint8_t { kAbsent, kNull, kPath };
  Kind kind = Kind::kAbsent;
  JsonPath path;  // kPath only

  static PathSetting absent() { return {}; }
  static PathSetting null() { return {Kind::kNull, {}}; }
  static PathSetting of(JsonPath path) { return {Kind::kPath, std::move(path)}; }
};

// A payload and an upper bound on its compact size. The bound is only ever
// too high, never too low: everything that makes one keeps it so.
struct SizedValue {
  Value value;
  std::size_t size_bound = kUnknownSize;
  static constexpr std::size_t kUnknownSize = SIZE_MAX;
};

// `value` with its exact size, counted in full: for payloads built once (a
// Pass state's Result) or small.
SizedValue measured(Value value);

// The execution input (or any payload from outside) measured against the
// limit, failing with States.DataLimitExceeded naming `subject`.
Result<SizedValue, DataFlowFailure> checked_payload(Value value, std::string_view subject);

struct StateDataFlow {
  PathSetting input_path;
  std::optional<PayloadTemplate> parameters;
  // A Pass state's Result: when present, InputPath and Parameters are not
  // evaluated at all, and it is used as written (".$" keys included).
  std::optional<SizedValue> result;
  std::optional<PayloadTemplate> result_selector;
  PathSetting result_path;
  PathSetting output_path;
  // What a States.DataLimitExceeded cause names: the function ARN of a direct
  // Lambda task, the service of an integration ("lambda"), else the state's name.
  std::string limit_subject;
  // Some path or template of this state reads "$$".
  bool reads_context = false;
};

// E: the state's effective input, InputPath applied to its raw input. An
// InputPath that gathers (or reads "$$") can build more than it read, so
// such an E is held to the size limit too.
Result<SizedValue, DataFlowFailure> effective_input(const StateDataFlow& flow,
                                                    const SizedValue& raw_input,
                                                    const Value& context);

// What a Task's handler (or a Parallel's branches) receive: Parameters
// evaluated over E, or E itself when there are none. An evaluated payload
// over the size limit fails with States.DataLimitExceeded.
Result<SizedValue, DataFlowFailure> task_input(const StateDataFlow& flow,
                                               const SizedValue& effective, const Value& context,
                                               RandomSource& random);

// A Pass state's result X: its Result, else Parameters over E, else E.
Result<SizedValue, DataFlowFailure> pass_result(const StateDataFlow& flow,
                                                const SizedValue& raw_input, const Value& context,
                                                RandomSource& random);

// The second half of pass_result for a Pass without Result: Parameters over
// E, or E itself. Unlike task_input it holds the payload to no limit, as it
// is no state's input; only the state's output is.
Result<SizedValue, DataFlowFailure> pass_parameters(const StateDataFlow& flow,
                                                    const SizedValue& effective,
                                                    const Value& context, RandomSource& random);

// A Task's (or a Parallel's, a Map's) result, checked against the size
// limit before ResultSelector sees it; for a Task an oversize result is that
// attempt's failure.
Result<SizedValue, DataFlowFailure> check_task_result(const StateDataFlow& flow, Value result);

// The state's output: ResultSelector over the result, ResultPath placing it
// into the raw input, OutputPath, then the size limit. The three calls below
// in turn, for a caller that shows what each step made.
Result<SizedValue, DataFlowFailure> state_output(const StateDataFlow& flow,
                                                 const SizedValue& raw_input, SizedValue result,
                                                 const Value& context, RandomSource& random);

// ResultSelector alone: X', the result itself when the state has none.
Result<SizedValue, DataFlowFailure> selected_result(const StateDataFlow& flow, SizedValue result,
                                                    const Value& context, RandomSource& random);

// OutputPath then the size limit: the output of a Choice, Wait or Succeed
// state over E (as effective_input gave it), and of any other state over
// what its ResultPath placed.
Result<SizedValue, DataFlowFailure> pass_through_output(const StateDataFlow& flow,
                                                        const SizedValue& effective,
                                                        const Value& context);

// ResultPath alone: `value` placed into `raw_input`; also what a catcher does
// with the error output. The result's bound is not checked against the limit.
Result<SizedValue, DataFlowFailure> apply_result_path(const PathSetting& result_path,
                                                      const SizedValue& raw_input,
                                                      SizedValue value);

// One reading path field on its own (TimeoutSecondsPath, HeartbeatSecondsPath
// and the like): its value in `document`, or in the context object for "$$",
// failing as InputPath and OutputPath do ("Invalid path '<path>' : ...").
Result<Value, DataFlowFailure> read_path_field(const JsonPath& path, const Value& document,
                                               const Value& context);

// States.DataLimitExceeded when the compact UTF-8 JSON text of `payload` is
// longer than kMaxPayloadBytes; `subject` is what the cause names.
Result<void, DataFlowFailure> check_payload_size(const Value& payload, std::string_view subject);

// The text of the cause above.
std::string data_limit_cause(std::string_view subject);

}  // namespace vorn::aws

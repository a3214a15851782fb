#include "vorn/dispatcher.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "test_bytes.hpp"
#include "vorn/decoder.hpp"
#include "vorn/encode.hpp"

namespace vorn {
namespace {

using namespace vorn::ir;
using testing::ByteVector;
using testing::encoded;

HandlerOutcome succeed(const std::string& json_text) {
  return {HandlerOutcome::Succeeded{{encoded(json_text), {}}}};
}

HandlerOutcome failure(StateErrorKind kind, std::string message = "x") {
  return {HandlerOutcome::Failed{{kind, std::move(message), {}}}};
}

// Plays back scripted outcomes for handler 0 (any other handler is not
// registered) and keeps what each call was given.
class FakeRegistry final : public HandlerRegistry {
 public:
  struct Call {
    ByteVector input;
    SchemaId input_schema;
    const StateMachineIr* ir;
    StateId state_id;
    bool replay;
  };

  HandlerOutcome execute(HandlerId handler, const HandlerContext& context) const override {
    if (handler != HandlerId{0}) return {HandlerOutcome::NotFound{}};
    calls.push_back({ByteVector(context.input.begin(), context.input.end()), context.input_schema,
                     &context.ir, context.state_id, context.replay});
    if (script.empty()) {
      ADD_FAILURE() << "handler called more often than scripted";
      return {HandlerOutcome::Interrupted{}};
    }
    HandlerOutcome next = std::move(script.front());
    script.pop_front();
    return next;
  }

  mutable std::deque<HandlerOutcome> script;
  mutable std::vector<Call> calls;
};

// The in-memory journal, made to refuse entries on demand.
class TestJournal final : public Journal {
 public:
  Result<void, JournalError> append(JournalEntry entry) override {
    if (refuse) return fail(*refuse);
    return inner.append(std::move(entry));
  }
  std::span<const JournalEntry> range(std::size_t from, std::size_t to) const override {
    return inner.range(from, to);
  }
  std::size_t size() const override { return inner.size(); }
  std::uint64_t entries_for(StateId state) const override { return inner.entries_for(state); }

  const JournalEntry& at(std::size_t i) const { return inner.entries().at(i); }

  std::optional<JournalError> refuse;
  VecJournal inner;
};

struct Machine {
  Machine(const StateMachineIr& machine_ir, const std::string& input, std::uint16_t start)
      : ir(machine_ir), context{encoded(input), 0, StateId{start}} {}

  // "Continue(n)", "Completed", or the error's text form.
  std::string step() {
    const StepResult result = DefaultDispatcher().step(context, ir, journal, registry);
    if (!result.ok()) return to_string(result.error());
    if (const auto* next = std::get_if<StepOutcome::Continue>(&result->value)) {
      return "Continue(" + std::to_string(next->next.value) + ")";
    }
    return "Completed";
  }

  const StateMachineIr& ir;
  ExecutionContext context;
  TestJournal journal;
  FakeRegistry registry;
};

// --- Data flow: InputPath, Parameters, ResultSelector, OutputPath, ResultPath

constexpr PathSegment kA[] = {Field{"a"}};
constexpr PathSegment kX[] = {Field{"x"}};
constexpr PathSegment kR[] = {Field{"r"}};
constexpr PathSegment kResult[] = {Field{"result"}};
constexpr PathSegment kK[] = {Field{"k"}};
constexpr PathSegment kMissing[] = {Field{"missing"}};
constexpr PathSegment kNoWhere[] = {Field{"no"}, Field{"where"}};
constexpr std::uint8_t kSeven[] = {0x04, 7, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kTrue[] = {0x05, 1};
constexpr TemplateEntry kParameters[] = {Reference{"v", {kA}}, Literal{"k", kSeven}};
constexpr TemplateEntry kSelectX[] = {Reference{"picked", {kX}}};
constexpr TemplateEntry kSelectMissing[] = {Reference{"m", {kMissing}}};

constexpr StateIr flow_task(std::uint16_t id, ResultPathPolicy result_path,
                            std::optional<ValuePath> input_path = {},
                            std::optional<ValuePath> output_path = {},
                            std::optional<TemplateIr> parameters = {},
                            std::optional<TemplateIr> selector = {}) {
  return {StateId{id},
          TaskStateIr{HandlerId{0}, SchemaId{3}, SchemaId{4}, End{}, {}, {}, input_path,
                      output_path, result_path, parameters, selector},
          {"task", ""}};
}

constexpr StateIr flow_pass(std::uint16_t id, ResultPathPolicy result_path,
                            std::optional<std::span<const std::uint8_t>> result = {},
                            std::optional<ValuePath> input_path = {},
                            std::optional<ValuePath> output_path = {},
                            std::optional<TemplateIr> parameters = {}) {
  return {StateId{id},
          PassStateIr{SchemaId{0}, SchemaId{0}, result, End{}, input_path, output_path,
                      result_path, parameters},
          {"pass", ""}};
}

constexpr StateIr kFlowStates[] = {
    flow_task(0, Place{{kResult}}),
    flow_task(1, Place{{kR}}, ValuePath{kA}),
    flow_task(2, Place{{kR}}, {}, ValuePath{kX}),
    flow_task(3, Replace{}, {}, {}, TemplateIr{kParameters}, TemplateIr{kSelectX}),
    flow_task(4, Discard{}, {}, {}, {}, TemplateIr{kSelectMissing}),
    flow_task(5, Discard{}, {}, ValuePath{kMissing}),
    flow_task(6, Replace{}, ValuePath{kMissing}),
    flow_task(7, Replace{}, {}, {}, TemplateIr{kSelectMissing}),
    flow_task(8, Place{{kNoWhere}}),
    flow_task(9, Replace{}),
    flow_pass(10, Replace{}, kTrue, ValuePath{kMissing}),
    flow_pass(11, Replace{}, kTrue, {}, {}, TemplateIr{kParameters}),
    flow_pass(12, Place{{kR}}, kSeven),
    flow_pass(13, Replace{}, {}, ValuePath{kA}),
    flow_pass(14, Place{{kR}}, {}, ValuePath{kX}, {}, TemplateIr{kParameters}),
    flow_pass(15, Discard{}, kSeven),
    flow_pass(16, Replace{}, {}, {}, ValuePath{kX}),
    flow_pass(17, Place{{kR}}, {}, {}, ValuePath{kMissing}),
    // Template results placed without OutputPath are written in place.
    flow_task(18, Place{{kR}}, {}, {}, {}, TemplateIr{kSelectX}),
    flow_pass(19, Discard{}, {}, {}, {}, TemplateIr{kSelectMissing}),
    flow_pass(20, Place{{kR}}, {}, {}, ValuePath{kK}, TemplateIr{kParameters}),
};
constexpr StateMachineIr kFlow{StateId{0}, kFlowStates, {}, {}, {}};

TEST(DefaultDispatcher, DataFlowOfTaskAndPass) {
  struct Case {
    std::uint16_t state;
    const char* input;
    const char* result;         // the handler's result; null for Pass
    const char* handler_input;  // null: the handler is not called
    const char* output;         // null: PathResolutionFailed
  };
  const Case cases[] = {
      {0, R"({"a":1})", "2", R"({"a":1})", R"({"a":1,"result":2})"},
      // The result goes into the raw input, not into what InputPath chose.
      {1, R"({"a":{"b":0},"z":1})", "2", R"({"b":0})", R"({"a":{"b":0},"r":2,"z":1})"},
      // OutputPath applies to the result, before ResultPath.
      {2, R"({"a":1})", R"({"x":5,"y":6})", R"({"a":1})", R"({"a":1,"r":5})"},
      {3, R"({"a":[1]})", R"({"x":"s"})", R"({"k":7,"v":[1]})", R"({"picked":"s"})"},
      // Discard still needs the result's paths to resolve.
      {4, R"({"a":1})", R"({"x":1})", R"({"a":1})", nullptr},
      {5, R"({"a":1})", R"({"x":1})", R"({"a":1})", nullptr},
      {6, R"({"a":1})", nullptr, nullptr, nullptr},
      {7, R"({"a":1})", nullptr, nullptr, nullptr},  // Parameters do not resolve
      {8, R"({"a":1})", "1", R"({"a":1})", nullptr},
      {8, R"({"no":{}})", "1", R"({"no":{}})", R"({"no":{"where":1}})"},
      {9, "[]", R"("out")", "[]", R"("out")"},
      // A Result does not excuse an InputPath that does not resolve.
      {10, R"({"a":1})", nullptr, nullptr, nullptr},
      {11, R"({"a":2})", nullptr, nullptr, R"({"k":7,"v":2})"},
      {12, R"({"a":1})", nullptr, nullptr, R"({"a":1,"r":7})"},
      {13, R"({"a":[true]})", nullptr, nullptr, "[true]"},
      {14, R"({"x":{"a":3},"z":0})", nullptr, nullptr, R"({"r":{"k":7,"v":3},"x":{"a":3},"z":0})"},
      {15, R"({"a":1})", nullptr, nullptr, R"({"a":1})"},
      {16, R"({"x":{"y":null}})", nullptr, nullptr, R"({"y":null})"},
      {17, R"({"a":1})", nullptr, nullptr, nullptr},
      {18, R"({"a":1})", R"({"x":[2]})", R"({"a":1})", R"({"a":1,"r":{"picked":[2]}})"},
      {18, R"({"a":1})", R"({"y":[2]})", R"({"a":1})", nullptr},
      {19, R"({"a":1})", nullptr, nullptr, nullptr},
      {20, R"({"a":1})", nullptr, nullptr, R"({"a":1,"r":7})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "state " << c.state << " on " << c.input);
    Machine m(kFlow, c.input, c.state);
    if (c.result != nullptr) m.registry.script.push_back(succeed(c.result));
    const std::string outcome = m.step();

    if (c.handler_input == nullptr) {
      EXPECT_TRUE(m.registry.calls.empty());
    } else {
      ASSERT_EQ(m.registry.calls.size(), 1u);
      const FakeRegistry::Call& call = m.registry.calls[0];
      EXPECT_EQ(call.input, encoded(c.handler_input));
      EXPECT_EQ(call.input_schema, SchemaId{3});
      EXPECT_EQ(call.ir, &kFlow);
      EXPECT_EQ(call.state_id, StateId{c.state});
      EXPECT_FALSE(call.replay);
    }
    EXPECT_EQ(m.context.current, StateId{c.state});
    if (c.output == nullptr) {
      EXPECT_EQ(outcome, "PathResolutionFailed(StateId(" + std::to_string(c.state) + "))");
      EXPECT_EQ(m.journal.size(), 0u);
      EXPECT_EQ(m.context.sequence, 0u);
      continue;
    }
    EXPECT_EQ(outcome, "Completed");
    ASSERT_EQ(m.journal.size(), 1u);
    const JournalEntry& entry = m.journal.at(0);
    EXPECT_EQ(entry.input, encoded(c.input));
    EXPECT_EQ(entry.output, encoded(c.output));
    EXPECT_FALSE(entry.error.has_value());
    EXPECT_EQ(entry.state_id, StateId{c.state});
    EXPECT_EQ(entry.attempt, 0u);
    EXPECT_EQ(m.context.sequence, 1u);
  }
}

TEST(DefaultDispatcher, PlacementOverTheFormatLimitFailsTheStep) {
  std::string input = R"({"big":")";
  input.append(65400, 'x');
  input += "\"}";
  Machine m(kFlow, input, 0);
  m.registry.script.push_back(succeed('"' + std::string(200, 'y') + '"'));
  EXPECT_EQ(m.step(), "PathResolutionFailed(StateId(0))");
  EXPECT_EQ(m.journal.size(), 0u);
  EXPECT_EQ(m.context.current, StateId{0});
}

// A result nested as deep as the format allows has no room under a
// ResultPath: the step fails instead of recording bytes no reader accepts.
TEST(DefaultDispatcher, PlacementBeyondTheNestingLimitFailsTheStep) {
  struct Case {
    std::uint16_t state;  // 0 places at "result", 9 replaces
    std::size_t levels;
    const char* outcome;
  };
  const Case cases[] = {
      {0, kMaxNestingDepth, "PathResolutionFailed(StateId(0))"},
      {0, kMaxNestingDepth - 1, "Completed"},
      {9, kMaxNestingDepth, "Completed"},
  };
  for (const Case& c : cases) {
    Machine m(kFlow, R"({"a":1})", c.state);
    m.registry.script.push_back({HandlerOutcome::Succeeded{{testing::nested_arrays(c.levels), {}}}});
    EXPECT_EQ(m.step(), c.outcome) << c.state << " " << c.levels;
    EXPECT_EQ(m.context.current, StateId{c.state});
    if (m.journal.size() == 1) {
      EXPECT_TRUE(decode_value(*m.journal.at(0).output).ok());
    } else {
      EXPECT_EQ(m.journal.size(), 0u);
    }
  }
}

// --- Retry and Catch

constexpr std::string_view kExternal[] = {"External"};
constexpr std::string_view kTransient[] = {"Transient"};
constexpr std::string_view kAny[] = {"*"};
constexpr std::string_view kRetryable[] = {"Transient", "External"};
constexpr std::string_view kForeign[] = {"States.ALL", "external", "External ", ""};
constexpr RetryPolicy kRetryExternalTwice[] = {{kExternal, 2, 1000, 2.0f}};
constexpr RetryPolicy kRetryTransient[] = {{kTransient, 5, 0, 1.0f}};
constexpr RetryPolicy kSecondPolicyRetries[] = {{kExternal, 1, 0, 1.0f}, {kExternal, 5, 0, 1.0f}};
constexpr RetryPolicy kRetryAnyThrice[] = {{kAny, 3, 0, 1.0f}};
constexpr RetryPolicy kRetryForeign[] = {{kForeign, 5, 0, 1.0f}};
constexpr CatchBlock kCatchAny[] = {{kAny, StateId{5}}};
constexpr CatchBlock kCatchRetryable[] = {{kTransient, StateId{6}}, {kRetryable, StateId{5}}};
constexpr CatchBlock kCatchForeign[] = {{kForeign, StateId{5}}};

constexpr StateIr retry_task(std::uint16_t id, std::span<const RetryPolicy> retry,
                             std::span<const CatchBlock> catchers) {
  return {StateId{id},
          TaskStateIr{HandlerId{0}, SchemaId{0}, SchemaId{0}, End{}, retry, catchers, {}, {},
                      Replace{}, {}, {}},
          {"task", ""}};
}

constexpr StateIr kRetryStates[] = {
    retry_task(0, kRetryExternalTwice, kCatchAny),
    retry_task(1, kRetryTransient, {}),
    retry_task(2, kSecondPolicyRetries, {}),
    retry_task(3, kRetryAnyThrice, kCatchRetryable),
    retry_task(4, kRetryForeign, kCatchForeign),
    {StateId{5}, PassStateIr{SchemaId{0}, SchemaId{0}, {}, End{}, {}, {}, Replace{}, {}},
     {"catcher", ""}},
    {StateId{6}, SucceedStateIr{}, {"unused", ""}},
    retry_task(7, kRetryAnyThrice, kCatchAny),
};
constexpr StateMachineIr kRetry{StateId{0}, kRetryStates, {}, {}, {}};

TEST(DefaultDispatcher, RetryAndCatchRules) {
  using K = StateErrorKind;
  struct Case {
    std::uint16_t state;
    std::vector<HandlerOutcome> script;
    std::vector<std::string> outcomes;  // one per step
  };
  const std::string external_failed =
      R"(HandlerFailed(StateError { kind: External, message: "x", side_effects: [] }))";
  const Case cases[] = {
      {0,
       {failure(K::External), failure(K::External)},
       {"Continue(0)", "Continue(5)", "Completed"}},
      // A retry policy on Transient does not match an External error.
      {1, {failure(K::External)}, {external_failed}},
      {1, {failure(K::Transient), failure(K::Transient), succeed("1")},
       {"Continue(1)", "Continue(1)", "Completed"}},
      // A matching policy with no attempts left lets a later one retry.
      {2, {failure(K::External), failure(K::External), succeed("1")},
       {"Continue(2)", "Continue(2)", "Completed"}},
      // Three attempts in all, then the first matching catcher.
      {3, {failure(K::External), failure(K::Transient), failure(K::External)},
       {"Continue(3)", "Continue(3)", "Continue(5)", "Completed"}},
      // Names other than the four kinds and "*" match nothing.
      {4, {failure(K::External)}, {external_failed}},
      // Permanent and Logic errors are neither retried nor caught.
      {7, {failure(K::Permanent, "p")},
       {R"(HandlerFailed(StateError { kind: Permanent, message: "p", side_effects: [] }))"}},
      {7, {failure(K::Logic, "l")},
       {R"(HandlerFailed(StateError { kind: Logic, message: "l", side_effects: [] }))"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "state " << c.state);
    Machine m(kRetry, R"({"in":1})", c.state);
    m.registry.script.assign(c.script.begin(), c.script.end());
    for (const std::string& expected : c.outcomes) EXPECT_EQ(m.step(), expected);
    EXPECT_TRUE(m.registry.script.empty());

    // Every step recorded one entry; a Task's attempts count its earlier
    // entries; every retry and the catcher see the Task's raw input.
    ASSERT_EQ(m.journal.size(), c.outcomes.size());
    for (std::size_t i = 0; i < m.journal.size(); ++i) {
      const JournalEntry& entry = m.journal.at(i);
      EXPECT_EQ(entry.sequence, i);
      EXPECT_EQ(entry.input, encoded(R"({"in":1})"));
      const bool is_task = entry.state_id == StateId{c.state};
      EXPECT_EQ(entry.attempt, is_task ? i : 0u);
      EXPECT_EQ(entry.error.has_value(), !entry.output.has_value());
    }
    for (const FakeRegistry::Call& call : m.registry.calls) {
      EXPECT_EQ(call.input, encoded(R"({"in":1})"));
    }
    // A failure that ends the machine leaves the context on the Task.
    if (c.outcomes.back().starts_with("HandlerFailed")) {
      EXPECT_EQ(m.context.current, StateId{c.state});
    }
  }
}

// --- Choice, and the step input of each state

constexpr PathSegment kN[] = {Field{"n"}};
constexpr PathSegment kS[] = {Field{"s"}};
constexpr PathSegment kAgain[] = {Field{"again"}};
constexpr ConditionIr kConditions[] = {
    {ConditionId{0}, NumericEqualsCond{{kN}, 1}},
    {ConditionId{1}, StringEqualsCond{{kS}, "go"}},
    {ConditionId{2}, BooleanEqualsCond{{kAgain}, true}},
};
constexpr ChoiceBranch kRoute[] = {{ConditionId{0}, StateId{2}}, {ConditionId{1}, StateId{3}}};
constexpr ChoiceBranch kRouteUnknown[] = {
    {ConditionId{0}, StateId{2}}, {ConditionId{9}, StateId{3}}, {ConditionId{1}, StateId{3}}};
constexpr ChoiceBranch kLoop[] = {{ConditionId{2}, StateId{5}}};
constexpr RetryPolicy kRetryOnce[] = {{kAny, 2, 0, 1.0f}};
constexpr PathSegment kOut[] = {Field{"out"}};

constexpr StateIr kChoiceStates[] = {
    {StateId{0}, ChoiceStateIr{SchemaId{0}, kRoute, StateId{4}}, {"route", ""}},
    {StateId{1}, ChoiceStateIr{SchemaId{0}, kRouteUnknown, std::nullopt}, {"strict", ""}},
    {StateId{2}, SucceedStateIr{}, {"two", ""}},
    {StateId{3}, FailStateIr{"Oops", "boom \"quoted\"\n"}, {"three", ""}},
    {StateId{4}, PassStateIr{SchemaId{0}, SchemaId{0}, std::nullopt, Next{StateId{6}}, {}, {},
                             Place{{kOut}}, {}},
     {"four", ""}},
    // A Task, then a Choice that may loop back to it.
    {StateId{5},
     TaskStateIr{HandlerId{0}, SchemaId{0}, SchemaId{0}, Next{StateId{6}}, kRetryOnce, {}, {}, {},
                 Replace{}, {}, {}},
     {"task", ""}},
    {StateId{6}, ChoiceStateIr{SchemaId{0}, kLoop, StateId{2}}, {"loop", ""}},
};
constexpr StateMachineIr kChoice{StateId{0}, kChoiceStates, {}, kConditions, {}};

TEST(DefaultDispatcher, ChoiceRulesAppendNothing) {
  struct Case {
    std::uint16_t state;
    const char* input;  // null: an empty byte vector
    const char* outcome;
  };
  const Case cases[] = {
      {0, R"({"n":1})", "Continue(2)"},
      {0, R"({"s":"go"})", "Continue(3)"},
      {0, R"({"n":1,"s":"go"})", "Continue(2)"},
      {0, R"({"n":1.0,"s":"GO"})", "Continue(4)"},
      {1, R"({"n":1})", "Continue(2)"},
      // An unknown condition stops the walk before a later match.
      {1, R"({"s":"go"})", "InvalidTransition(StateId(1))"},
      {1, "{}", "InvalidTransition(StateId(1))"},
      {0, nullptr, "InvalidTransition(StateId(0))"},
  };
  for (const Case& c : cases) {
    Machine m(kChoice, "null", c.state);
    m.context.input = c.input ? encoded(c.input) : ByteVector{};
    EXPECT_EQ(m.step(), c.outcome) << c.state << " " << (c.input ? c.input : "empty");
    EXPECT_EQ(m.journal.size(), 0u);
    EXPECT_EQ(m.context.sequence, 0u);
    const bool moved = std::string_view(c.outcome).starts_with("Continue");
    EXPECT_EQ(m.context.current != StateId{c.state}, moved);
  }
}

TEST(DefaultDispatcher, StepInputComesFromTheJournal) {
  // Choice -> Pass -> Choice -> Succeed: the Choices leave no entries, and
  // each state takes the output of the last recorded one.
  Machine chain(kChoice, R"({"n":2})", 0);
  EXPECT_EQ(chain.step(), "Continue(4)");
  EXPECT_EQ(chain.step(), "Continue(6)");
  EXPECT_EQ(chain.step(), "Continue(2)");
  EXPECT_EQ(chain.step(), "Completed");
  ASSERT_EQ(chain.journal.size(), 2u);
  EXPECT_EQ(chain.journal.at(1).input, encoded(R"({"n":2,"out":{"n":2}})"));
  EXPECT_EQ(chain.journal.at(1).output, chain.journal.at(1).input);
  // Stepping after completion runs the final state again on its own input.
  EXPECT_EQ(chain.step(), "Completed");
  ASSERT_EQ(chain.journal.size(), 3u);
  EXPECT_EQ(chain.journal.at(2).input, chain.journal.at(1).input);
  EXPECT_EQ(chain.journal.at(2).sequence, 2u);

  // A Choice that loops back to the last recorded Task runs it again on that
  // entry's output (its progress, not the input it started from), and counts
  // the earlier success as an attempt: the one retry the Task allows is used up.
  Machine loop(kChoice, R"({"again":false})", 5);
  loop.registry.script = {succeed(R"({"again":true})"), failure(StateErrorKind::External)};
  EXPECT_EQ(loop.step(), "Continue(6)");
  EXPECT_EQ(loop.step(), "Continue(5)");
  EXPECT_EQ(loop.step(),
            R"(HandlerFailed(StateError { kind: External, message: "x", side_effects: [] }))");
  ASSERT_EQ(loop.registry.calls.size(), 2u);
  EXPECT_EQ(loop.registry.calls[1].input, encoded(R"({"again":true})"));
  EXPECT_EQ(loop.journal.at(1).attempt, 1u);

  // A Fail state's message is its cause; its entry carries the same error.
  Machine failing(kChoice, R"({"s":"go"})", 0);
  EXPECT_EQ(failing.step(), "Continue(3)");
  const std::string failed =
      R"(HandlerFailed(StateError { kind: Permanent, message: "boom \"quoted\"\n", side_effects: [] }))";
  EXPECT_EQ(failing.step(), failed);
  ASSERT_EQ(failing.journal.size(), 1u);
  EXPECT_EQ(failing.journal.at(0).error->message, "boom \"quoted\"\n");
  EXPECT_EQ(failing.journal.at(0).error->kind, StateErrorKind::Permanent);
  EXPECT_FALSE(failing.journal.at(0).output.has_value());
  EXPECT_EQ(failing.context.current, StateId{3});
}

// --- The remaining rows of the failure table

TEST(DefaultDispatcher, FailuresLeaveJournalAndContextAsTheyWere) {
  constexpr StateIr states[] = {
      {StateId{0},
       TaskStateIr{HandlerId{1}, SchemaId{0}, SchemaId{0}, End{}, {}, {}, {}, {}, Replace{}, {},
                   {}},
       {"unregistered", ""}},
  };
  const StateMachineIr unregistered{StateId{0}, states, {}, {}, {}};
  Machine missing(unregistered, "1", 0);
  EXPECT_EQ(missing.step(), "HandlerNotFound(HandlerId(1))");
  EXPECT_EQ(missing.journal.size(), 0u);

  Machine unknown(kFlow, "1", 200);
  EXPECT_EQ(unknown.step(), "InvalidTransition(StateId(200))");
  EXPECT_EQ(unknown.context.current, StateId{200});

  // The host stops the step: nothing is recorded, nothing moves.
  Machine interrupted(kRetry, "1", 0);
  interrupted.registry.script.push_back({HandlerOutcome::Interrupted{}});
  EXPECT_EQ(interrupted.step(), "Interrupted");
  EXPECT_EQ(interrupted.journal.size(), 0u);

  // A journal that refuses: whatever the state, the step fails with the
  // journal's error and neither the position nor the sequence moves.
  struct Refused {
    const StateMachineIr& ir;
    std::uint16_t state;
    std::optional<HandlerOutcome> outcome;
  };
  const Refused refused[] = {
      {kFlow, 9, succeed("1")},                            // Task success
      {kRetry, 0, failure(StateErrorKind::External)},      // a retry would be granted
      {kRetry, 0, failure(StateErrorKind::Permanent)},     // fails the machine
      {kChoice, 4, std::nullopt},                          // Pass
      {kChoice, 2, std::nullopt},                          // Succeed
      {kChoice, 3, std::nullopt},                          // Fail
  };
  for (const Refused& r : refused) {
    Machine m(r.ir, R"({"a":1})", r.state);
    m.journal.refuse = JournalError::OutOfSpace;
    if (r.outcome) m.registry.script.push_back(*r.outcome);
    EXPECT_EQ(m.step(), "JournalFailure(OutOfSpace)") << r.state;
    EXPECT_EQ(m.journal.size(), 0u);
    EXPECT_EQ(m.context.current, StateId{r.state});
    EXPECT_EQ(m.context.sequence, 0u);
  }
}

TEST(ErrorMatches, KindNamesAndStarOnly) {
  constexpr std::string_view star[] = {"*"};
  constexpr std::string_view mixed[] = {"States.ALL", "Logic"};
  EXPECT_TRUE(error_matches(StateErrorKind::Transient, star));
  EXPECT_TRUE(error_matches(StateErrorKind::Logic, mixed));
  EXPECT_FALSE(error_matches(StateErrorKind::External, mixed));
  EXPECT_FALSE(error_matches(StateErrorKind::External, kForeign));
  EXPECT_FALSE(error_matches(StateErrorKind::External, {}));
  EXPECT_TRUE(error_matches(StateErrorKind::External, kRetryable));
}

}  // namespace
}  // namespace vorn

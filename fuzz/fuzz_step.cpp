// The dispatcher on machines built from the input: a few states of every
// kind, with transitions, Retry and Catch rules, paths, templates and Choice
// conditions drawn from the input (ids out of range included), an initial
// input that may or may not be a value, and a registry whose outcomes come
// from the input too. Up to kSteps steps run with an in-memory journal that
// may be made to refuse an entry.
//
// The machines are ones lowering could produce: texts are UTF-8, template
// keys are unique, Pass results, template literals and handler results are
// canonical encodings. On such machines every step keeps its promises:
// sequence numbers run 0, 1, 2, ... without gaps; when the initial input is
// a value, every recorded input and output decodes; a step that fails leaves
// the journal and the context as the failure rules say; Continue names the
// context's new current state; and every error's text is non-empty UTF-8.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "base/overloaded.hpp"
#include "base/utf8.hpp"
#include "fuzz_input.hpp"
#include "json/value.hpp"
#include "vorn/decoder.hpp"
#include "vorn/dispatcher.hpp"
#include "vorn/encode.hpp"
#include "vorn/journal.hpp"

namespace {

using vorn_fuzz::check;
using vorn_fuzz::FuzzInput;
using namespace vorn::ir;
using vorn::Bytes;
using vorn::HandlerContext;
using vorn::HandlerOutcome;
using vorn::JournalEntry;
using vorn::JournalError;
using vorn::StateError;
using vorn::StateErrorKind;
using vorn::StepError;
using vorn::StepOutcome;
using vorn::json::Value;
using ByteVector = std::vector<std::uint8_t>;

constexpr int kSteps = 64;

// The value at the start of `bytes` decodes within its own size. (The
// decoder reads a root over all of its input, so bytes whose root claims
// fewer bytes than its members take, such as 01 00 00 00 00, decode as a
// whole; but they are no value, and what a state cuts out of them need not
// decode either.)
bool decodes(Bytes bytes) {
  const std::size_t size = vorn::encoded_data_size(bytes);
  return size != 0 && size <= bytes.size() && vorn::decode_value(bytes.first(size)).ok();
}

bool is_canonical(Bytes bytes) {
  const auto value = vorn::decode_value(bytes);
  if (!value.ok()) return false;
  const auto encoded = vorn::encode_value(*value);
  return encoded.ok() && std::equal(encoded->begin(), encoded->end(), bytes.begin(), bytes.end());
}

// Values the machines and handlers pick from, encoded once.
const std::vector<ByteVector>& sample_values() {
  static const std::vector<ByteVector> values = [] {
    using vorn::json::Array;
    using vorn::json::Object;
    Object ab;
    ab.set("a", Value(1));
    ab.set("b", Value(Array{Value(true), Value()}));
    Object inner;
    inner.set("y", Value());
    Object x;
    x.set("x", Value(inner));
    x.set("r", Value("s"));
    Object list;
    list.set("a", Value(Array{Value(1), Value(Object(ab))}));
    list.set("k", Value(-7));
    list.set("\xc3\xa9", Value(2.5));
    const Value samples[] = {Value(),      Value(true),  Value(7),       Value(-1),
                             Value(1.5),   Value("s"),   Value(Array{}), Value(Object{}),
                             Value(ab),    Value(x),     Value(list),    Value(Array{Value(x), Value(3)})};
    std::vector<ByteVector> out;
    for (const Value& value : samples) out.push_back(vorn::encode_value(value).value());
    return out;
  }();
  return values;
}

constexpr std::string_view kKeys[] = {"a", "b", "k", "r", "x", "y", "", "\xc3\xa9"};
constexpr std::string_view kErrorNames[] = {"Transient", "Permanent", "Logic", "External",
                                            "*",         "external",  "States.ALL", ""};
constexpr std::string_view kMessages[] = {
    "", "boom", "a \"quoted\" \\ back\nslash\ttab\r", "\x01\x7f\xc2\xa0\xe2\x80\xae",
    "\xc3\xa9\xf0\x9f\x98\x80"};

// Owns every list, text and byte block the IR records point into; deques
// keep each element where it was put.
class MachineBuilder {
 public:
  explicit MachineBuilder(FuzzInput& in) : in_(in) {}

  StateMachineIr build() {
    state_count_ = 1 + in_.byte() % 6;
    const std::size_t condition_count = in_.byte() % 4;
    std::vector<ConditionIr> conditions;
    for (std::size_t i = 0; i < condition_count; ++i) {
      conditions.push_back({ConditionId{static_cast<std::uint16_t>(i)}, condition()});
    }
    condition_count_ = condition_count;
    std::vector<StateIr> states;
    for (std::size_t i = 0; i < state_count_; ++i) {
      states.push_back({StateId{static_cast<std::uint16_t>(i)}, state_kind(), {kKeys[i % 8], ""}});
    }
    return {state_id(), store(std::move(states)), {}, store(std::move(conditions)), {}};
  }

  // A canonical encoding: one of the samples, or bytes from the input that
  // happen to be one.
  Bytes value() {
    const std::uint8_t choice = in_.byte();
    if (choice < 0xF0) return sample_values()[choice % sample_values().size()];
    const Bytes run = in_.take(in_.byte());
    if (!is_canonical(run)) return sample_values()[choice % sample_values().size()];
    return store(ByteVector(run.begin(), run.end()));
  }

  std::string_view message() {
    const std::uint8_t choice = in_.byte();
    if (choice < 0xF0) return kMessages[choice % std::size(kMessages)];
    const Bytes run = in_.take(in_.byte() % 32);
    const std::string_view text(reinterpret_cast<const char*>(run.data()), run.size());
    if (!vorn::is_valid_utf8(text)) return kMessages[1];
    return texts_.emplace_back(text);
  }

 private:
  template <class T>
  std::span<const T> store(std::vector<T> items) {
    if constexpr (std::is_same_v<T, std::uint8_t>) {
      return bytes_.emplace_back(std::move(items));
    } else {
      return std::get<std::deque<std::vector<T>>>(lists_).emplace_back(std::move(items));
    }
  }

  // Mostly in range; one past the end and far out of range now and then.
  StateId state_id() {
    const std::uint8_t b = in_.byte();
    if (b == 0xFF) return StateId{0xFFFF};
    return StateId{static_cast<std::uint16_t>(b % (state_count_ + 1))};
  }

  ValuePath path() {
    std::vector<PathSegment> segments;
    const std::size_t count = in_.byte() % 4;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t b = in_.byte();
      if (b & 1) {
        segments.emplace_back(Index{static_cast<std::uint16_t>((b >> 1) % 4)});
      } else {
        segments.emplace_back(Field{kKeys[(b >> 1) % 8]});
      }
    }
    return {store(std::move(segments))};
  }

  std::optional<ValuePath> optional_path() {
    if (!in_.flag()) return std::nullopt;
    return path();
  }

  // Keys are unique, as in a definition's object.
  std::optional<TemplateIr> optional_template() {
    if (!in_.flag()) return std::nullopt;
    std::vector<TemplateEntry> entries;
    const std::size_t count = in_.byte() % 4;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t b = in_.byte();
      const std::string_view key = kKeys[(b >> 1) % 8];
      const bool taken = std::any_of(entries.begin(), entries.end(), [&](const TemplateEntry& e) {
        return std::visit([](const auto& entry) { return entry.key; }, e) == key;
      });
      if (taken) continue;
      if (b & 1) {
        entries.emplace_back(Reference{key, path()});
      } else {
        entries.emplace_back(Literal{key, value()});
      }
    }
    return TemplateIr{store(std::move(entries))};
  }

  ResultPathPolicy result_path() {
    switch (in_.byte() % 3) {
      case 0:
        return Replace{};
      case 1:
        return Place{path()};
      default:
        return Discard{};
    }
  }

  std::span<const std::string_view> error_names() {
    std::vector<std::string_view> names;
    const std::size_t count = in_.byte() % 3;
    for (std::size_t i = 0; i < count; ++i) names.push_back(kErrorNames[in_.byte() % 8]);
    return store(std::move(names));
  }

  TaskTransition transition() {
    if (in_.flag()) return End{};
    return Next{state_id()};
  }

  ConditionKind condition() {
    const std::uint8_t kind = in_.byte() % 3;
    const ValuePath at = path();
    switch (kind) {
      case 0:
        return NumericEqualsCond{at, static_cast<std::int8_t>(in_.byte())};
      case 1:
        return StringEqualsCond{at, kKeys[in_.byte() % 8]};
      default:
        return BooleanEqualsCond{at, in_.flag()};
    }
  }

  StateKind state_kind() {
    switch (in_.byte() % 5) {
      case 0: {
        TaskStateIr task{};
        task.handler_id = HandlerId{static_cast<std::uint16_t>(in_.byte() % 4)};
        task.input_schema = SchemaId{in_.byte()};
        task.transition = transition();
        std::vector<RetryPolicy> retry;
        for (std::size_t i = in_.byte() % 3; i > 0; --i) {
          retry.push_back({error_names(), static_cast<std::uint32_t>(in_.byte() % 5), 1000, 2.0f});
        }
        task.retry = store(std::move(retry));
        std::vector<CatchBlock> catchers;
        for (std::size_t i = in_.byte() % 3; i > 0; --i) catchers.push_back({error_names(), state_id()});
        task.catch_ = store(std::move(catchers));
        task.input_path = optional_path();
        task.output_path = optional_path();
        task.result_path = result_path();
        task.parameters = optional_template();
        task.result_selector = optional_template();
        return task;
      }
      case 1: {
        PassStateIr pass{};
        if (in_.flag()) pass.result_data = value();
        pass.transition = transition();
        pass.input_path = optional_path();
        pass.output_path = optional_path();
        pass.result_path = result_path();
        pass.parameters = optional_template();
        return pass;
      }
      case 2: {
        std::vector<ChoiceBranch> branches;
        for (std::size_t i = in_.byte() % 4; i > 0; --i) {
          const std::uint8_t b = in_.byte();
          const ConditionId condition{static_cast<std::uint16_t>(
              b == 0xFF ? 0xFFFF : b % (condition_count_ + 1))};
          branches.push_back({condition, state_id()});
        }
        ChoiceStateIr choice{};
        choice.branches = store(std::move(branches));
        if (in_.flag()) choice.default_ = state_id();
        return choice;
      }
      case 3:
        return SucceedStateIr{};
      default:
        return FailStateIr{"Boom", message()};
    }
  }

  FuzzInput& in_;
  std::size_t state_count_ = 1;
  std::size_t condition_count_ = 0;
  std::deque<ByteVector> bytes_;
  std::deque<std::string> texts_;
  std::tuple<std::deque<std::vector<PathSegment>>, std::deque<std::vector<TemplateEntry>>,
             std::deque<std::vector<RetryPolicy>>, std::deque<std::vector<CatchBlock>>,
             std::deque<std::vector<std::string_view>>, std::deque<std::vector<ChoiceBranch>>,
             std::deque<std::vector<StateIr>>, std::deque<std::vector<ConditionIr>>>
      lists_;
};

// Handlers 0 to 2 play outcomes drawn from the input; handler 3 is not
// registered. Checks what every call is handed.
class ScriptedRegistry final : public vorn::HandlerRegistry {
 public:
  ScriptedRegistry(FuzzInput& in, MachineBuilder& builder, const StateMachineIr& ir,
                   const vorn::ExecutionContext& context, bool input_is_value)
      : in_(in), builder_(builder), ir_(ir), context_(context), input_is_value_(input_is_value) {}

  HandlerOutcome execute(HandlerId handler, const HandlerContext& call) const override {
    check(&call.ir == &ir_ && call.state_id == context_.current && !call.replay);
    if (input_is_value_) check(decodes(call.input));
    last_handler = handler;
    if (handler.value >= 3) return {HandlerOutcome::NotFound{}};
    const std::uint8_t choice = in_.byte() % 8;
    if (choice < 3) {
      const Bytes result = builder_.value();
      return {HandlerOutcome::Succeeded{{ByteVector(result.begin(), result.end()), {}}}};
    }
    if (choice < 7) {
      const auto kind = static_cast<StateErrorKind>(choice - 3);
      return {HandlerOutcome::Failed{{kind, std::string(builder_.message()), {}}}};
    }
    return {HandlerOutcome::NotFound{}};
  }

  mutable std::optional<HandlerId> last_handler;

 private:
  FuzzInput& in_;
  MachineBuilder& builder_;
  const StateMachineIr& ir_;
  const vorn::ExecutionContext& context_;
  bool input_is_value_;
};

// The in-memory journal, refusing the entry at one position if asked to.
class RefusingJournal final : public vorn::Journal {
 public:
  explicit RefusingJournal(std::optional<std::size_t> refuse_at) : refuse_at_(refuse_at) {}

  vorn::Result<void, JournalError> append(JournalEntry entry) override {
    if (refuse_at_ && *refuse_at_ == attempts_++) return vorn::fail(JournalError::OutOfSpace);
    return inner.append(std::move(entry));
  }
  std::span<const JournalEntry> range(std::size_t from, std::size_t to) const override {
    return inner.range(from, to);
  }
  std::size_t size() const override { return inner.size(); }
  std::uint64_t entries_for(StateId state) const override { return inner.entries_for(state); }

  vorn::VecJournal inner;

 private:
  std::optional<std::size_t> refuse_at_;
  std::size_t attempts_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(Bytes(data, size));
  MachineBuilder builder(in);
  const StateMachineIr ir = builder.build();

  // The initial input: a value, or any bytes at all.
  vorn::ExecutionContext context;
  if (in.flag()) {
    const Bytes run = in.take(in.byte());
    context.input.assign(run.begin(), run.end());
  } else {
    const Bytes value = builder.value();
    context.input.assign(value.begin(), value.end());
  }
  context.current = ir.start_at;
  const bool input_is_value = decodes(context.input);
  const std::uint8_t refuse = in.byte();
  RefusingJournal journal(refuse < 16 ? std::optional<std::size_t>(refuse) : std::nullopt);
  ScriptedRegistry registry(in, builder, ir, context, input_is_value);

  const vorn::DefaultDispatcher dispatcher;
  for (int i = 0; i < kSteps; ++i) {
    const StateId current = context.current;
    const std::uint64_t sequence = context.sequence;
    const std::size_t length = journal.size();
    const std::uint64_t earlier = journal.entries_for(current);
    const StateIr* state = ir.state(current);
    registry.last_handler.reset();

    const auto result = dispatcher.step(context, ir, journal, registry);

    // Sequence numbers: one per entry, in order, none lost to a refusal.
    check(journal.size() == length || journal.size() == length + 1);
    check(context.sequence == journal.size());
    check(sequence == length);
    const bool appended = journal.size() == length + 1;
    if (appended) {
      const JournalEntry& entry = journal.inner.entries().back();
      check(entry.sequence == length && entry.state_id == current);
      check(entry.output.has_value() != entry.error.has_value());
      const bool is_task = std::holds_alternative<TaskStateIr>(state->kind);
      check(entry.attempt == (is_task ? earlier : 0));
      if (input_is_value) {
        check(decodes(entry.input));
        if (entry.output) check(decodes(*entry.output));
      }
    }

    if (result.ok()) {
      check(state != nullptr && !std::holds_alternative<FailStateIr>(state->kind));
      if (const auto* next = std::get_if<StepOutcome::Continue>(&result->value)) {
        check(context.current == next->next);
        // Only a Choice moves on without recording anything.
        check(appended != std::holds_alternative<ChoiceStateIr>(state->kind));
      } else {
        check(context.current == current && appended);
      }
      continue;
    }

    // A failed step never moves the machine.
    const StepError& error = result.error();
    check(context.current == current);
    const std::string text = vorn::to_string(error);
    check(!text.empty() && vorn::is_valid_utf8(text));
    std::visit(vorn::Overloaded{
                   [&](const StepError::HandlerFailed& failed) {
                     check(appended && journal.inner.entries().back().error == failed.error);
                   },
                   [&](const StepError::JournalFailure&) { check(!appended); },
                   [&](const StepError::InvalidTransition& e) {
                     check(!appended && e.state == current);
                     check(state == nullptr || std::holds_alternative<ChoiceStateIr>(state->kind));
                   },
                   [&](const StepError::HandlerNotFound& e) {
                     check(!appended && registry.last_handler == e.handler);
                   },
                   [&](const StepError::PathResolutionFailed& e) {
                     check(!appended && e.state == current && state != nullptr);
                   },
                   [&](const StepError::ReplayDivergence&) { check(false); },
                   [&](const StepError::ContextFailure&) { check(false); },
                   [&](const StepError::Interrupted&) { check(false); },
               },
               error.value);
  }
  return 0;
}

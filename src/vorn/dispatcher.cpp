#include "vorn/dispatcher.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

#include "base/overloaded.hpp"
#include "vorn/data_view.hpp"
#include "vorn/path_ops.hpp"
#include "vorn/template_eval.hpp"
#include "vorn/value_store.hpp"

namespace vorn {

bool error_matches(StateErrorKind kind, std::span<const std::string_view> names) {
  const std::string_view kind_name = name(kind);
  return std::any_of(names.begin(), names.end(), [&](std::string_view candidate) {
    return candidate == "*" || candidate == kind_name;
  });
}

namespace {

using ByteVector = std::vector<std::uint8_t>;

ByteVector copy_of(Bytes bytes) {
  return ByteVector(bytes.begin(), bytes.end());
}

StepResult path_failed(ir::StateId state) {
  return fail(StepError{StepError::PathResolutionFailed{state}});
}

StepResult invalid_transition(ir::StateId state) {
  return fail(StepError{StepError::InvalidTransition{state}});
}

// One step's view of the machine. The step input is borrowed from the
// context or the journal; it must not be read once an entry has been
// appended, since a journal may move what it holds.
class Step {
 public:
  Step(ExecutionContext& context, const ir::StateMachineIr& ir, Journal& journal,
       const HandlerRegistry& registry)
      : context_(context),
        ir_(ir),
        journal_(journal),
        registry_(registry),
        current_(context.current),
        input_(step_input()) {}

  StepResult run(const ir::StateIr& state) {
    return std::visit(
        Overloaded{
            [&](const ir::TaskStateIr& task) { return task_state(task); },
            [&](const ir::PassStateIr& pass) { return pass_state(pass); },
            [&](const ir::ChoiceStateIr& choice) { return choice_state(choice); },
            [&](const ir::SucceedStateIr&) { return succeed_state(); },
            [&](const ir::FailStateIr& failing) { return fail_state(failing); },
        },
        state.kind);
  }

 private:
  // The last entry's output, or its input when it has none: a failed attempt
  // is retried, and a catcher's target entered, on the input that failed. A
  // state reached again after it succeeded (a loop through a Choice, a Next
  // naming itself) must see its own progress, so a success is never re-read
  // as the input it started from.
  Bytes step_input() const {
    const JournalEntry* last = journal_.last();
    if (last == nullptr) return context_.input;
    return last->output ? *last->output : last->input;
  }

  // The state's input after InputPath: a view, as nothing needs to own it.
  std::optional<Bytes> effective_input(const std::optional<ir::ValuePath>& input_path) const {
    if (!input_path) return input_;
    return find_path(input_, *input_path);
  }

  // The state's output from its result, by OutputPath and ResultPath. When
  // `owned` holds the result's bytes they are moved out if they are the
  // output as they stand.
  std::optional<ByteVector> output_from(Bytes result, ByteVector* owned,
                                        const std::optional<ir::ValuePath>& output_path,
                                        const ir::ResultPathPolicy& policy) const {
    Bytes filtered = result;
    if (output_path) {
      const auto found = find_path(result, *output_path);
      if (!found) return std::nullopt;
      filtered = *found;
    }
    return std::visit(
        Overloaded{
            [&](const ir::Replace&) -> std::optional<ByteVector> {
              if (owned != nullptr && filtered.data() == owned->data() &&
                  filtered.size() == owned->size()) {
                return std::move(*owned);
              }
              return copy_of(filtered);
            },
            [&](const ir::Place& place) { return place_at_path(input_, place.path, filtered); },
            [&](const ir::Discard&) -> std::optional<ByteVector> { return copy_of(input_); },
        },
        policy);
  }

  // The same for a result that is the object `templ` builds from `source`.
  // Placed as it is, the object is written straight into the output instead
  // of being built on its own first.
  std::optional<ByteVector> output_from_template(const ir::TemplateIr& templ, Bytes source,
                                                 const std::optional<ir::ValuePath>& output_path,
                                                 const ir::ResultPathPolicy& policy) const {
    const auto object = TemplateObject::resolve(templ, source);
    if (!object) return std::nullopt;
    const auto* place = std::get_if<ir::Place>(&policy);
    if (place != nullptr && !output_path) return place_at_path(input_, place->path, *object);
    if (std::holds_alternative<ir::Discard>(policy) && !output_path) return copy_of(input_);
    ByteVector built = object->encode();
    return output_from(built, &built, output_path, policy);
  }

  // Appends `entry` with the next sequence number, which is used up only
  // when the journal accepts the entry.
  Result<void, JournalError> record(JournalEntry&& entry) {
    entry.sequence = context_.sequence;
    entry.state_id = current_;
    auto appended = journal_.append(std::move(entry));
    if (appended.ok()) ++context_.sequence;
    return appended;
  }

  // Records `entry`, then decides the outcome: nothing moves when the
  // journal refuses the entry.
  template <class Then>
  StepResult record_then(JournalEntry&& entry, Then then) {
    auto appended = record(std::move(entry));
    if (!appended.ok()) return fail(StepError{StepError::JournalFailure{appended.error()}});
    return then();
  }

  StepResult transition(const ir::TaskTransition& transition) {
    if (const auto* next = std::get_if<ir::Next>(&transition)) {
      context_.current = next->target;
      return StepOutcome{StepOutcome::Continue{next->target}};
    }
    return StepOutcome{StepOutcome::Completed{}};
  }

  StepResult task_state(const ir::TaskStateIr& task) {
    const auto effective = effective_input(task.input_path);
    if (!effective) return path_failed(current_);
    ByteVector parameters;
    Bytes handler_input = *effective;
    if (task.parameters) {
      auto evaluated = evaluate_template(*task.parameters, *effective);
      if (!evaluated) return path_failed(current_);
      parameters = std::move(*evaluated);
      handler_input = parameters;
    }

    // Every earlier entry of this state counts, from earlier visits too.
    const std::uint64_t attempts = journal_.entries_for(current_);
    const auto attempt = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(attempts, std::numeric_limits<std::uint32_t>::max()));

    const HandlerContext call{handler_input, task.input_schema, ir_, current_, false};
    HandlerOutcome outcome = registry_.execute(task.handler_id, call);

    return std::visit(
        Overloaded{
            [&](HandlerOutcome::NotFound&) -> StepResult {
              return fail(StepError{StepError::HandlerNotFound{task.handler_id}});
            },
            [&](HandlerOutcome::Interrupted&) -> StepResult {
              return fail(StepError{StepError::Interrupted{}});
            },
            [&](HandlerOutcome::Failed& failed) {
              return task_failed(task, std::move(failed.error), attempts, attempt);
            },
            [&](HandlerOutcome::Succeeded& succeeded) {
              return task_succeeded(task, std::move(succeeded.output), attempt);
            },
        },
        outcome.value);
  }

  StepResult task_failed(const ir::TaskStateIr& task, StateError error, std::uint64_t attempts,
                         std::uint32_t attempt) {
    JournalEntry entry;
    entry.input = copy_of(input_);
    entry.error = error;
    entry.side_effects = error.side_effects;
    entry.attempt = attempt;
    auto appended = record(std::move(entry));
    if (!appended.ok()) return fail(StepError{StepError::JournalFailure{appended.error()}});

    if (error.kind == StateErrorKind::Permanent || error.kind == StateErrorKind::Logic) {
      return fail(StepError{StepError::HandlerFailed{std::move(error)}});
    }
    // A matching policy with no attempts left does not end the walk.
    for (const ir::RetryPolicy& policy : task.retry) {
      if (error_matches(error.kind, policy.error_equals) && attempts + 1 < policy.max_attempts) {
        return StepOutcome{StepOutcome::Continue{current_}};
      }
    }
    for (const ir::CatchBlock& catcher : task.catch_) {
      if (error_matches(error.kind, catcher.error_equals)) {
        context_.current = catcher.target;
        return StepOutcome{StepOutcome::Continue{catcher.target}};
      }
    }
    return fail(StepError{StepError::HandlerFailed{std::move(error)}});
  }

  StepResult task_succeeded(const ir::TaskStateIr& task, StateOutput output,
                            std::uint32_t attempt) {
    // OutputPath applies to the selected result, before ResultPath.
    ByteVector result = std::move(output.data);
    auto placed = task.result_selector
                      ? output_from_template(*task.result_selector, result, task.output_path,
                                             task.result_path)
                      : output_from(result, &result, task.output_path, task.result_path);
    if (!placed) return path_failed(current_);

    JournalEntry entry;
    entry.input = copy_of(input_);
    entry.output = std::move(*placed);
    entry.side_effects = output.side_effects;
    entry.attempt = attempt;
    return record_then(std::move(entry), [&] { return transition(task.transition); });
  }

  StepResult pass_state(const ir::PassStateIr& pass) {
    // InputPath must resolve even when a Result makes its value unused.
    const auto effective = effective_input(pass.input_path);
    if (!effective) return path_failed(current_);
    // Parameters take precedence over a Result, which takes precedence over
    // the effective input.
    auto output =
        pass.parameters
            ? output_from_template(*pass.parameters, *effective, pass.output_path,
                                   pass.result_path)
            : output_from(pass.result_data.value_or(*effective), nullptr, pass.output_path,
                          pass.result_path);
    if (!output) return path_failed(current_);

    JournalEntry entry;
    entry.input = copy_of(input_);
    entry.output = std::move(*output);
    return record_then(std::move(entry), [&] { return transition(pass.transition); });
  }

  StepResult choice_state(const ir::ChoiceStateIr& choice) {
    const auto root = DataView::from(input_);
    if (!root) return invalid_transition(current_);
    for (const ir::ChoiceBranch& branch : choice.branches) {
      const ir::ConditionIr* condition = ir_.condition(branch.condition);
      if (condition == nullptr) return invalid_transition(current_);
      if (evaluate_condition(*condition, *root)) {
        context_.current = branch.target;
        return StepOutcome{StepOutcome::Continue{branch.target}};
      }
    }
    if (choice.default_) {
      context_.current = *choice.default_;
      return StepOutcome{StepOutcome::Continue{*choice.default_}};
    }
    return invalid_transition(current_);
  }

  StepResult succeed_state() {
    JournalEntry entry;
    entry.input = copy_of(input_);
    entry.output = copy_of(input_);
    return record_then(std::move(entry),
                       [] { return StepResult(StepOutcome{StepOutcome::Completed{}}); });
  }

  StepResult fail_state(const ir::FailStateIr& state) {
    // The state's error code is not carried; its cause is the message.
    StateError error{StateErrorKind::Permanent, std::string(state.message), {}};
    JournalEntry entry;
    entry.input = copy_of(input_);
    entry.error = error;
    return record_then(std::move(entry), [&] {
      return StepResult(fail(StepError{StepError::HandlerFailed{std::move(error)}}));
    });
  }

  ExecutionContext& context_;
  const ir::StateMachineIr& ir_;
  Journal& journal_;
  const HandlerRegistry& registry_;
  const ir::StateId current_;
  const Bytes input_;
};

}  // namespace

StepResult DefaultDispatcher::step(ExecutionContext& context, const ir::StateMachineIr& ir,
                                   Journal& journal, const HandlerRegistry& registry) const {
  const ir::StateIr* state = ir.state(context.current);
  if (state == nullptr) return invalid_transition(context.current);
  return Step(context, ir, journal, registry).run(*state);
}

}  // namespace vorn

// Any bytes as a definition, an input and a script for its tasks: the
// definition's JSON, a NUL byte, the input's JSON, a NUL byte, then one
// script byte per task attempt (high bit: submit it and await a callback;
// else low two bits: answer with the input, fail with one of a few errors,
// fail with neither error nor cause, or take a minute; the next bits pick
// the error) and one per step that awaits a callback (low two bits: succeed
// with the attempt's input, fail, beat and let the next bits' seconds pass,
// or let the clock reach the attempt's deadline, or an hour pass). A
// definition that checks and lowers is run twice on a virtual clock; each
// run must end (or be stopped after a bounded number of steps), number its
// events 1, 2, 3, ... with each previousEventId naming an earlier event,
// record only payloads within the size limit that read back as JSON, and
// give the same history both times. A callback with the awaited token is
// accepted, any other token is not, and none is once the run is over.
//
// A loop that places a task's whole input into that input doubles its
// payload each round up to the limit, so payloads are compared and read back
// only when small; larger ones are compared by size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "aws_build/check.hpp"
#include "aws_build/lower_program.hpp"
#include "aws_data/payload_size.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"
#include "aws_run/execution.hpp"
#include "fuzz_input.hpp"

using vorn_fuzz::check;
namespace aws = vorn::aws;

namespace {

constexpr int kMaxSteps = 500;
constexpr std::size_t kSmallPayload = 4096;

std::string_view until_nul(std::string_view& rest) {
  const std::size_t end = rest.find('\0');
  const std::string_view field = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return field;
}

const char* const kErrors[] = {"States.Timeout", "Flaky", "States.TaskFailed", "Boom"};

aws::TaskOutcome scripted(std::uint8_t byte, const aws::TaskCall& call) {
  if (byte & 0x80) return aws::TaskOutcome::pending(call.input);
  switch (byte & 3) {
    case 0: return aws::TaskOutcome::succeeded(call.input);
    case 1: return aws::TaskOutcome::failed(aws::TaskError{kErrors[(byte >> 2) & 3], "because"});
    case 2: return aws::TaskOutcome::failed(aws::TaskError{});
    default: return aws::TaskOutcome::succeeded(call.input, std::chrono::seconds(60));
  }
}

void call_back(std::uint8_t byte, aws::Execution& execution, aws::VirtualClock& clock,
               const aws::Value& input) {
  using aws::CallbackResult;
  const std::string token(execution.pending_task()->task_token);
  check(execution.send_task_heartbeat(token + "x") == CallbackResult::kTaskDoesNotExist);
  switch (byte & 3) {
    case 0:
      check(execution.send_task_success(token, input) == CallbackResult::kAccepted);
      break;
    case 1:
      check(execution.send_task_failure(token, kErrors[(byte >> 2) & 3], std::nullopt) ==
            CallbackResult::kAccepted);
      break;
    case 2:
      check(execution.send_task_heartbeat(token) == CallbackResult::kAccepted);
      clock.advance_by(std::chrono::seconds(byte >> 2));
      break;
    default: {
      const auto deadline = execution.callback_deadline();
      clock.advance_to(deadline ? *deadline : aws::add_seconds(clock.now(), 3600));
    }
  }
}

struct Recorded {
  aws::EventType type;
  std::int64_t previous_event_id;
  aws::Instant timestamp;
  std::size_t payload_size;
  aws::Value small_payload;  // null when the payload is not small
  friend bool operator==(const Recorded&, const Recorded&) = default;
};

// The history's events, after checking the promises each event keeps.
std::vector<Recorded> run(const std::shared_ptr<const aws::Program>& program,
                          const aws::Value& input, std::string_view script) {
  aws::VirtualClock clock(aws::Instant{1'700'000'000, 0});
  aws::Execution execution(program, input, aws::ExecutionIdentity{"f", "arn", "M", "arn:M", "", ""},
                           clock, 3);
  std::size_t next_byte = 0;
  aws::Value submitted_input;
  std::vector<std::string> tokens;
  for (int steps = 0; steps < kMaxSteps; ++steps) {
    const auto progress = execution.step();
    if (progress == aws::Execution::Progress::kEnded) break;
    const std::uint8_t byte = next_byte < script.size() ? script[next_byte] : 0;
    if (progress == aws::Execution::Progress::kTaskDue) {
      ++next_byte;
      submitted_input = execution.task_call()->input;
      execution.finish_task(scripted(byte, *execution.task_call()));
      if (const aws::PendingTask* pending = execution.pending_task()) {
        tokens.emplace_back(pending->task_token);
      }
    } else if (progress == aws::Execution::Progress::kAwaitingCallback) {
      ++next_byte;
      call_back(byte, execution, clock, submitted_input);
    }
  }
  execution.stop(std::nullopt, std::nullopt);  // a run still going after kMaxSteps
  check(execution.status() != aws::ExecutionStatus::kRunning);
  for (const std::string& token : tokens) {
    check(execution.send_task_success(token, aws::Value()) != aws::CallbackResult::kAccepted);
  }
  std::vector<Recorded> events;
  std::int64_t expected_id = 1;
  for (const aws::HistoryEvent& event : execution.history().events()) {
    check(event.id == expected_id++);
    check(event.previous_event_id >= 0 && event.previous_event_id < event.id);
    const std::size_t size = aws::compact_size_up_to(event.payload, aws::kMaxPayloadBytes + 1);
    check(size <= aws::kMaxPayloadBytes);
    const bool small = size <= kSmallPayload;
    if (small) check(aws::read_json(aws::write_json(event.payload)).ok());
    events.push_back({event.type, event.previous_event_id, event.timestamp, size,
                      small ? event.payload : aws::Value()});
  }
  return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view definition = until_nul(rest);
  const std::string_view input_text = until_nul(rest);
  const aws::CheckOutcome checked = aws::check_definition(definition);
  if (!checked.definition) return 0;
  auto lowered = aws::lower_program(*checked.definition);
  if (!lowered.ok()) return 0;
  auto input = aws::read_json(input_text);
  if (!input.ok() || aws::compact_size_up_to(*input, aws::kMaxPayloadBytes + 1) >
                         aws::kMaxPayloadBytes) {
    return 0;
  }
  const auto program = std::make_shared<const aws::Program>(std::move(lowered).value());
  check(run(program, *input, rest) == run(program, *input, rest));
  return 0;
}

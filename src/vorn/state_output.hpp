// What a Task's handler reports: a result or an error, and the side effects
// it describes. The dispatcher records both in the journal and may hand an
// error on to its caller.
//
// A StateError owns its message, so an error copied into a journal entry and
// into a step result keeps its text for as long as either copy lives; nothing
// is kept beyond that.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// Transient and External errors may be retried and caught by a Task's rules;
// Permanent and Logic errors end the machine at once. A Fail state produces
// Permanent; Python handlers always fail with External.
enum class StateErrorKind { Transient, Permanent, Logic, External };

// "Transient", "Permanent", "Logic", "External": the names Retry and Catch
// rules match against.
std::string_view name(StateErrorKind kind);

// What a handler did outside the machine. Nothing in this toolkit creates
// one; the dispatcher only copies the sequence into the journal.
struct SideEffectTag {
  std::string_view effect;
  std::string_view metadata;
};

struct StateError {
  StateErrorKind kind = StateErrorKind::External;
  std::string message;
  // Borrowed for the life of the process; empty everywhere in this toolkit.
  std::span<const SideEffectTag> side_effects;

  friend bool operator==(const StateError& a, const StateError& b) {
    return a.kind == b.kind && a.message == b.message &&
           a.side_effects.data() == b.side_effects.data() &&
           a.side_effects.size() == b.side_effects.size();
  }
};

// A handler's successful result, in the binary value format.
struct StateOutput {
  std::vector<std::uint8_t> data;
  std::span<const SideEffectTag> side_effects;
};

}  // namespace vorn

// The journal: the append-only record of what a running machine did, one
// entry per executed state that produced an outcome. The dispatcher reads it
// back on every step: the next state's input comes from the last entry, and a
// Task's attempt number is the count of entries already recorded for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "vorn/ir/id.hpp"
#include "vorn/state_output.hpp"

namespace vorn {

struct JournalEntry {
  // The state's raw input (before InputPath), encoded.
  std::vector<std::uint8_t> input;
  // Absent for a failed Task attempt and for a Fail state.
  std::optional<std::vector<std::uint8_t>> output;
  // Present for a failed Task attempt and for a Fail state.
  std::optional<StateError> error;
  std::span<const SideEffectTag> side_effects;
  // Equals the entry's position in the journal.
  std::uint64_t sequence = 0;
  // For a Task, the number of earlier entries of the same state; 0 otherwise.
  std::uint32_t attempt = 0;
  ir::StateId state_id;
};

// What a journal may report when it refuses an entry. The in-memory journal
// never does; these exist for journals kept elsewhere.
enum class JournalError { StorageFailure, SerializationFailure, CorruptedEntry, OutOfSpace };

std::string_view name(JournalError error);

class Journal {
 public:
  virtual ~Journal() = default;

  // Takes ownership of `entry`.
  virtual Result<void, JournalError> append(JournalEntry entry) = 0;
  // Entries [from, to), clamped: `to` is lowered to the length, then `from`
  // to `to`. Out-of-range positions give an empty sequence, never an error.
  virtual std::span<const JournalEntry> range(std::size_t from, std::size_t to) const = 0;
  virtual std::size_t size() const = 0;

  // The number of entries recorded for `state`. This default counts them one
  // by one; a journal that can count in constant time should.
  virtual std::uint64_t entries_for(ir::StateId state) const;

  const JournalEntry* last() const {
    const auto tail = range(size() == 0 ? 0 : size() - 1, size());
    return tail.empty() ? nullptr : &tail.front();
  }
};

// The in-memory journal: a vector in append order that never refuses an
// entry, with a per-state entry count kept beside it so that attempt numbers
// cost constant time however long the run.
class VecJournal final : public Journal {
 public:
  Result<void, JournalError> append(JournalEntry entry) override;
  std::span<const JournalEntry> range(std::size_t from, std::size_t to) const override;
  std::size_t size() const override { return entries_.size(); }
  std::uint64_t entries_for(ir::StateId state) const override;

  const std::vector<JournalEntry>& entries() const { return entries_; }

 private:
  std::vector<JournalEntry> entries_;
  std::vector<std::uint64_t> count_by_state_;  // indexed by StateId
};

}  // namespace vorn

#include "vorn/journal.hpp"

#include <algorithm>

namespace vorn {

std::string_view name(JournalError error) {
  switch (error) {
    case JournalError::StorageFailure:
      return "StorageFailure";
    case JournalError::SerializationFailure:
      return "SerializationFailure";
    case JournalError::CorruptedEntry:
      return "CorruptedEntry";
    case JournalError::OutOfSpace:
      return "OutOfSpace";
  }
  return "StorageFailure";
}

std::uint64_t Journal::entries_for(ir::StateId state) const {
  std::uint64_t count = 0;
  for (std::size_t i = 0, n = size(); i < n; ++i) {
    for (const JournalEntry& entry : range(i, i + 1)) {
      if (entry.state_id == state) ++count;
    }
  }
  return count;
}

Result<void, JournalError> VecJournal::append(JournalEntry entry) {
  const std::size_t slot = entry.state_id.value;
  if (slot >= count_by_state_.size()) count_by_state_.resize(slot + 1, 0);
  entries_.push_back(std::move(entry));
  ++count_by_state_[slot];
  return {};
}

std::span<const JournalEntry> VecJournal::range(std::size_t from, std::size_t to) const {
  to = std::min(to, entries_.size());
  from = std::min(from, to);
  return std::span<const JournalEntry>(entries_).subspan(from, to - from);
}

std::uint64_t VecJournal::entries_for(ir::StateId state) const {
  return state.value < count_by_state_.size() ? count_by_state_[state.value] : 0;
}

}  // namespace vorn

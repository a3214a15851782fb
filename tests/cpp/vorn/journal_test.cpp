#include "vorn/journal.hpp"

#include <gtest/gtest.h>

#include <utility>

namespace vorn {
namespace {

JournalEntry entry_for(std::uint16_t state, std::uint8_t marker) {
  JournalEntry entry;
  entry.input = {marker};
  entry.state_id = ir::StateId{state};
  return entry;
}

// A journal that counts a state's entries the default way, through range().
class ScanningJournal final : public Journal {
 public:
  Result<void, JournalError> append(JournalEntry entry) override {
    return inner_.append(std::move(entry));
  }
  std::span<const JournalEntry> range(std::size_t from, std::size_t to) const override {
    return inner_.range(from, to);
  }
  std::size_t size() const override { return inner_.size(); }

 private:
  VecJournal inner_;
};

TEST(VecJournal, RangeIsClamped) {
  VecJournal journal;
  for (std::uint8_t i = 0; i < 5; ++i) ASSERT_TRUE(journal.append(entry_for(0, i)).ok());
  struct Case {
    std::size_t from, to;
    std::size_t first_marker, count;
  };
  const Case cases[] = {
      {3, 10, 3, 2}, {7, 10, 0, 0}, {4, 2, 0, 0}, {0, 5, 0, 5}, {1, 2, 1, 1}, {5, 5, 0, 0},
  };
  for (const Case& c : cases) {
    const auto entries = journal.range(c.from, c.to);
    ASSERT_EQ(entries.size(), c.count) << c.from << ".." << c.to;
    if (c.count > 0) {
      EXPECT_EQ(entries.front().input[0], c.first_marker);
    }
  }
  EXPECT_EQ(journal.last()->input[0], 4);
  EXPECT_EQ(VecJournal().last(), nullptr);
}

TEST(VecJournal, CountsEntriesPerStateLikeAScan) {
  VecJournal fast;
  ScanningJournal scan;
  const std::uint16_t states[] = {2, 0, 2, 7, 2, 0, 300};
  for (const std::uint16_t state : states) {
    ASSERT_TRUE(fast.append(entry_for(state, 0)).ok());
    ASSERT_TRUE(scan.append(entry_for(state, 0)).ok());
  }
  for (std::uint16_t state : {0, 1, 2, 7, 300, 65535}) {
    EXPECT_EQ(fast.entries_for(ir::StateId{state}), scan.entries_for(ir::StateId{state}))
        << state;
  }
  EXPECT_EQ(fast.entries_for(ir::StateId{2}), 3u);
  EXPECT_EQ(fast.entries().size(), 7u);
}

TEST(OutcomeNames, AreTheVariantNames) {
  EXPECT_EQ(name(StateErrorKind::Transient), "Transient");
  EXPECT_EQ(name(StateErrorKind::Permanent), "Permanent");
  EXPECT_EQ(name(StateErrorKind::Logic), "Logic");
  EXPECT_EQ(name(StateErrorKind::External), "External");
  EXPECT_EQ(name(JournalError::StorageFailure), "StorageFailure");
  EXPECT_EQ(name(JournalError::SerializationFailure), "SerializationFailure");
  EXPECT_EQ(name(JournalError::CorruptedEntry), "CorruptedEntry");
  EXPECT_EQ(name(JournalError::OutOfSpace), "OutOfSpace");
}

}  // namespace
}  // namespace vorn

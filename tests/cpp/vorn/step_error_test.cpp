#include "vorn/step_error.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace vorn {
namespace {

using ir::HandlerId;
using ir::StateId;

TEST(StepError, TextForms) {
  static constexpr SideEffectTag kEffects[] = {{"wrote", "db"}, {"sent", ""}};
  const std::pair<StepError, std::string> cases[] = {
      {{StepError::HandlerFailed{{StateErrorKind::External, "ValueError: bad", {}}}},
       R"(HandlerFailed(StateError { kind: External, message: "ValueError: bad", side_effects: [] }))"},
      {{StepError::HandlerFailed{{StateErrorKind::Transient, "a\\b\"c\td\re\nf\x01g\x7f", {}}}},
       R"(HandlerFailed(StateError { kind: Transient, message: "a\\b\"c\td\re\nf\u{1}g\u{7f}", side_effects: [] }))"},
      // Printable non-ASCII stays; invisible controls and bytes that are
      // not UTF-8 are escaped.
      {{StepError::HandlerFailed{{StateErrorKind::Logic, "é€😀\u200b\u0085\xff", kEffects}}},
       "HandlerFailed(StateError { kind: Logic, message: \"é€😀\\u{200b}\\u{85}\\u{fffd}\", "
       "side_effects: [SideEffectTag { effect: \"wrote\", metadata: \"db\" }, "
       "SideEffectTag { effect: \"sent\", metadata: \"\" }] })"},
      {{StepError::JournalFailure{JournalError::CorruptedEntry}}, "JournalFailure(CorruptedEntry)"},
      {{StepError::ReplayDivergence{}}, "ReplayDivergence"},
      {{StepError::InvalidTransition{StateId{65535}}}, "InvalidTransition(StateId(65535))"},
      {{StepError::HandlerNotFound{HandlerId{0}}}, "HandlerNotFound(HandlerId(0))"},
      {{StepError::ContextFailure{ContextError::InvalidType}}, "ContextFailure(InvalidType)"},
      {{StepError::PathResolutionFailed{StateId{2}}}, "PathResolutionFailed(StateId(2))"},
      {{StepError::Interrupted{}}, "Interrupted"},
  };
  for (const auto& [error, text] : cases) EXPECT_EQ(to_string(error), text);
}

}  // namespace
}  // namespace vorn

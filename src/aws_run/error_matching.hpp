// ErrorEquals: the list of error names a retrier or catcher handles, with
// the two wildcards sorted out once, when the rule is built, so that
// matching a failure costs no string comparison against them.
//
// The rules, the same for Retry and Catch:
//   - States.Runtime is matched by nothing, not even by its own name;
//   - "States.ALL" matches every other error, an absent name included;
//   - "States.TaskFailed" matches every other error except States.Timeout;
//   - any other entry matches exactly that name (case-sensitive, no
//     patterns: "State.ALL" and "*" are ordinary names).
// Where States.ALL may stand (alone, in the last rule) is the checker's job.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aws_run/task_error.hpp"

namespace vorn::aws {

class ErrorEquals {
 public:
  ErrorEquals() = default;  // matches nothing
  explicit ErrorEquals(std::vector<std::string> entries);

  // The entries as written, in order.
  const std::vector<std::string>& entries() const { return entries_; }

  // `error` is the failure's name, std::nullopt when it has none.
  bool matches(std::optional<std::string_view> error) const;
  bool matches(const TaskError& failure) const;

 private:
  std::vector<std::string> entries_;
  bool all_ = false;
  bool task_failed_ = false;
};

}  // namespace vorn::aws

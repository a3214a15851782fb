#include "aws_run/error_matching.hpp"

#include <algorithm>

namespace vorn::aws {

ErrorEquals::ErrorEquals(std::vector<std::string> entries) : entries_(std::move(entries)) {
  for (const std::string& entry : entries_) {
    if (entry == error_name::kAll) all_ = true;
    if (entry == error_name::kTaskFailed) task_failed_ = true;
  }
}

bool ErrorEquals::matches(std::optional<std::string_view> error) const {
  if (error == error_name::kRuntime) return false;
  if (all_) return true;
  if (task_failed_ && error != error_name::kTimeout) return true;
  if (!error) return false;
  return std::find(entries_.begin(), entries_.end(), *error) != entries_.end();
}

bool ErrorEquals::matches(const TaskError& failure) const {
  if (!failure.error) return matches(std::nullopt);
  return matches(std::string_view(*failure.error));
}

}  // namespace vorn::aws

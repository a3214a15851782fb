// Shared by the checker's tests: a definition's diagnostics in one line each,
// so a table row states every field AWS reports.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "aws_build/check.hpp"

namespace vorn::aws::testing {

// "CODE|message|location", warnings prefixed "W:".
inline std::string brief(const Diagnostic& d) {
  return (d.severity == Severity::kWarning ? "W:" : "") + d.code + "|" + d.message + "|" +
         d.location;
}

inline std::vector<std::string> briefs(std::string_view text) {
  std::vector<std::string> out;
  for (const Diagnostic& d : check_definition(text).diagnostics) out.push_back(brief(d));
  return out;
}

// A machine whose one state `A` is `state` (a JSON object text) and ends.
inline std::string machine_with(std::string_view state) {
  return R"({"StartAt":"A","States":{"A":)" + std::string(state) + "}}";
}

}  // namespace vorn::aws::testing

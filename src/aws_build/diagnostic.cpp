#include "aws_build/diagnostic.hpp"

#include <algorithm>

namespace vorn::aws {

std::string_view severity_name(Severity severity) {
  return severity == Severity::kError ? "ERROR" : "WARNING";
}

bool has_errors(const std::vector<Diagnostic>& diagnostics) {
  return std::any_of(diagnostics.begin(), diagnostics.end(),
                     [](const Diagnostic& d) { return d.severity == Severity::kError; });
}

std::string invalid_definition_message(const std::vector<Diagnostic>& diagnostics) {
  std::string text = "Invalid State Machine Definition: '";
  bool first = true;
  for (const Diagnostic& d : diagnostics) {
    if (d.severity != Severity::kError) continue;
    if (!first) text += ", ";
    first = false;
    text += d.code;
    text += ": ";
    text += d.message;
    text += " at ";
    text += d.location.empty() ? std::string_view("null") : std::string_view(d.location);
  }
  text += '\'';
  return text;
}

}  // namespace vorn::aws

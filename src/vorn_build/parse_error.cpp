#include "parse_error.hpp"

#include "base/overloaded.hpp"

namespace vorn::build {

namespace {

std::string location_phrase(const std::string& path) {
  return path.empty() ? std::string("at root") : "in " + path;
}

}  // namespace

std::string to_string(const ParseError& error) {
  const std::string where = location_phrase(error.path);
  return std::visit(
      Overloaded{
          [](const ParseError::InvalidJson& k) { return "invalid JSON: " + k.message; },
          [&](const ParseError::UnsupportedStateType& k) {
            return "unsupported state type \"" + k.type + "\" " + where;
          },
          [&](const ParseError::UnknownField& k) {
            return "unknown field \"" + k.key + "\" " + where;
          },
          [&](const ParseError::MissingRequiredField& k) {
            return "missing required field \"" + k.name + "\" " + where;
          },
          [&](const ParseError::InvalidField& k) {
            return "invalid field \"" + k.field + "\" " + where + ": expected " + k.expected;
          },
      },
      error.kind);
}

}  // namespace vorn::build

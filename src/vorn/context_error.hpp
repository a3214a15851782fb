// The kinds of data problem the runtime reports, printed by name.
#pragma once

#include <string_view>

namespace vorn {

enum class ContextError {
  SchemaViolation,
  MissingField,
  InvalidType,
  DeserializationFailure,
};

std::string_view name(ContextError error);

}  // namespace vorn

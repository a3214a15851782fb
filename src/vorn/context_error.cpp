#include "context_error.hpp"

namespace vorn {

std::string_view name(ContextError error) {
  switch (error) {
    case ContextError::SchemaViolation:
      return "SchemaViolation";
    case ContextError::MissingField:
      return "MissingField";
    case ContextError::InvalidType:
      return "InvalidType";
    case ContextError::DeserializationFailure:
      return "DeserializationFailure";
  }
  return "InvalidType";
}

}  // namespace vorn

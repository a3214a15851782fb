#include "vorn/state_output.hpp"

namespace vorn {

std::string_view name(StateErrorKind kind) {
  switch (kind) {
    case StateErrorKind::Transient:
      return "Transient";
    case StateErrorKind::Permanent:
      return "Permanent";
    case StateErrorKind::Logic:
      return "Logic";
    case StateErrorKind::External:
      return "External";
  }
  return "External";
}

}  // namespace vorn

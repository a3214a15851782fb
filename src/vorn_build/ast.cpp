#include "ast.hpp"

#include <algorithm>

namespace vorn::build {

std::optional<std::size_t> AslAst::state_index(std::string_view name) const {
  auto it = std::lower_bound(
      states.begin(), states.end(), name,
      [](const NamedState& s, std::string_view n) { return key_less(s.name, n); });
  if (it == states.end() || it->name != name) return std::nullopt;
  return static_cast<std::size_t>(it - states.begin());
}

}  // namespace vorn::build

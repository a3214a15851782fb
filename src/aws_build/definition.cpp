#include "aws_build/definition.hpp"

namespace vorn::aws {

namespace {

void collect_names(const Scope& scope, std::vector<std::string>& names) {
  for (const State& state : scope.states) {
    names.push_back(state.name);
    if (const auto* parallel = std::get_if<ParallelState>(&state.fields)) {
      for (const Scope& branch : parallel->branches) collect_names(branch, names);
    } else if (const auto* map = std::get_if<MapState>(&state.fields)) {
      collect_names(map->processor, names);
    }
  }
}

}  // namespace

std::vector<std::string> all_state_names(const Definition& definition) {
  std::vector<std::string> names;
  collect_names(definition.scope, names);
  return names;
}

}  // namespace vorn::aws

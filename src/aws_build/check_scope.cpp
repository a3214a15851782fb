// Scopes: the states' names, where each transition leads, and which states
// can be reached from StartAt.
#include <algorithm>

#include "aws_build/checker.hpp"
#include "aws_build/messages.hpp"

namespace vorn::aws {

namespace {

constexpr std::size_t kMaxStateNameLength = 80;

std::size_t code_points(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// Which states a walk from `start` along the scope's transitions meets.
std::vector<bool> reached_from(std::uint32_t start, std::size_t count,
                               std::vector<std::pair<std::uint32_t, std::uint32_t>>& edges) {
  std::sort(edges.begin(), edges.end());
  std::vector<std::size_t> first(count + 1, 0);  // edges of state s: [first[s], first[s+1])
  for (const auto& edge : edges) ++first[edge.first + 1];
  for (std::size_t s = 0; s < count; ++s) first[s + 1] += first[s];
  std::vector<bool> reached(count, false);
  std::vector<std::uint32_t> pending{start};
  reached[start] = true;
  while (!pending.empty()) {
    const std::uint32_t from = pending.back();
    pending.pop_back();
    for (std::size_t e = first[from]; e < first[from + 1]; ++e) {
      const std::uint32_t to = edges[e].second;
      if (!reached[to]) {
        reached[to] = true;
        pending.push_back(to);
      }
    }
  }
  return reached;
}

}  // namespace

void check_scope(Checker& checker, const Value& scope_object, const Location& at, Scope& out) {
  const Value* states = scope_object.find("States");
  const Value* start_at = scope_object.find("StartAt");
  if (states == nullptr && start_at == nullptr) {
    checker.schema_error(message::fields_required({"States", "StartAt"}), at);
  } else if (states == nullptr) {
    checker.schema_error(message::fields_required({"States"}), at);
  } else if (start_at == nullptr) {
    checker.schema_error(message::fields_required({"StartAt"}), at);
  }
  if (start_at != nullptr && !start_at->is_string()) {
    checker.schema_error(message::wrong_type("StartAt", "a string"), at.member("StartAt"));
    start_at = nullptr;
  }
  if (states != nullptr && !states->is_object()) {
    checker.schema_error(message::wrong_type("States", "an object"), at.member("States"));
    states = nullptr;
  }

  ScopeCheck scope{checker.open_scope(), 0, {}, false};
  const Location states_at = at.member("States");
  const std::span<const Member> members =
      states != nullptr ? states->members() : std::span<const Member>();
  // Every name first, so a transition may lead to a state defined after it.
  for (std::uint32_t i = 0; i < members.size(); ++i) {
    const std::string_view name = members[i].key;
    const Location state_at = states_at.member(name);
    const std::size_t length = code_points(name);
    if (length == 0 || length > kMaxStateNameLength) {
      checker.error(code::kInvalidStateName, message::state_name_length(kMaxStateNameLength),
                    state_at);
    }
    checker.add_state_name(name, scope.id, i, state_at);
  }
  out.states.reserve(members.size());
  for (std::uint32_t i = 0; i < members.size(); ++i) {
    scope.current_state = i;
    State& state = out.states.emplace_back();
    if (!check_state(checker, members[i].value, members[i].key, states_at.member(members[i].key),
                     scope, state)) {
      out.states.pop_back();
    }
  }

  if (start_at == nullptr || states == nullptr) return;
  out.start_at = std::string(start_at->as_string());
  const auto start = checker.find_state(out.start_at, scope.id);
  if (!start) {
    checker.error(code::kMissingTarget, message::missing_target(out.start_at),
                  at.member("StartAt"));
    return;
  }
  // With no way to end, every state is as good as unreachable; AWS reports
  // the missing end alone.
  if (!scope.has_terminal) {
    checker.unlocated_error(code::kMissingEndState, message::no_terminal_state(), states_at);
    return;
  }
  const std::vector<bool> reached = reached_from(*start, members.size(), scope.edges);
  for (std::uint32_t i = 0; i < members.size(); ++i) {
    if (!reached[i]) {
      checker.error(code::kMissingTarget, message::not_reachable(members[i].key),
                    states_at.member(members[i].key));
    }
  }
}

}  // namespace vorn::aws

// Retry and Catch: the error names each rule matches and what it does.
#include <algorithm>

#include "aws_build/checker.hpp"
#include "aws_build/messages.hpp"

namespace vorn::aws {

namespace {

constexpr std::string_view kStatesAll = "States.ALL";
constexpr std::int64_t kMaxDelaySeconds = 31'622'400;

// ErrorEquals of rule `index` of `count` in `field` ("Retry", "Catch").
std::vector<std::string> error_equals(Checker& c, const Value& rule, const Location& rule_at,
                                      std::string_view field, std::size_t index,
                                      std::size_t count) {
  std::vector<std::string> names;
  if (rule.find("ErrorEquals") == nullptr) {
    c.schema_error(message::fields_required({"ErrorEquals"}), rule_at);
    return names;
  }
  const Value* list = c.array_field(rule, "ErrorEquals", rule_at);
  if (list == nullptr) return names;
  const Location list_at = rule_at.member("ErrorEquals");
  if (list->size() == 0) {
    c.schema_error(message::value_cannot_be_empty(), list_at);
    return names;
  }
  names.reserve(list->size());
  for (std::size_t i = 0; i < list->size(); ++i) {
    const Value& name = list->items()[i];
    if (!name.is_string()) {
      c.schema_error(message::element_wrong_type("a string"), list_at.index(i));
      continue;
    }
    names.emplace_back(name.as_string());
  }
  if (std::find(names.begin(), names.end(), kStatesAll) != names.end()) {
    if (list->size() > 1) c.schema_error(message::states_all_not_alone(), list_at);
    if (index + 1 != count) c.schema_error(message::states_all_not_last(field), rule_at);
  }
  return names;
}

// Calls read(rule, rule_at, index, count) for each object of the array
// `field` ("Retry", "Catch") of `state`; any other element is refused.
template <class Read>
void for_each_rule(Checker& c, const Value& state, std::string_view field, const Location& at,
                   Read&& read) {
  const Value* rules = c.array_field(state, field, at);
  if (rules == nullptr) return;
  const Location rules_at = at.member(field);
  for (std::size_t i = 0; i < rules->size(); ++i) {
    const Value& rule = rules->items()[i];
    const Location rule_at = rules_at.index(i);
    if (!rule.is_object()) {
      c.schema_error(message::element_wrong_type("an object"), rule_at);
      continue;
    }
    read(rule, rule_at, i, rules->size());
  }
}

}  // namespace

std::vector<Retrier> check_retry(Checker& c, const Value& state, const Location& at) {
  std::vector<Retrier> retriers;
  for_each_rule(c, state, "Retry", at,
                [&](const Value& rule, const Location& rule_at, std::size_t i, std::size_t count) {
    c.allowed_fields(rule,
                     {"ErrorEquals", "IntervalSeconds", "MaxAttempts", "BackoffRate",
                      "MaxDelaySeconds", "JitterStrategy", "Comment"},
                     rule_at, false);
    Retrier retrier;
    retrier.error_equals = error_equals(c, rule, rule_at, "Retry", i, count);
    retrier.interval_seconds =
        c.integer_field(rule, "IntervalSeconds", rule_at, 1, kMaxSeconds).value_or(1);
    retrier.max_attempts =
        c.integer_field(rule, "MaxAttempts", rule_at, 0, kMaxSeconds).value_or(3);
    retrier.backoff_rate = c.number_field(rule, "BackoffRate", rule_at, 1.0, {}).value_or(2.0);
    retrier.max_delay_seconds =
        c.integer_field(rule, "MaxDelaySeconds", rule_at, 1, kMaxDelaySeconds);
    if (auto jitter = c.enum_field(rule, "JitterStrategy", rule_at, {"FULL", "NONE"})) {
      retrier.jitter = *jitter == "FULL" ? JitterStrategy::kFull : JitterStrategy::kNone;
    }
    (void)c.string_field(rule, "Comment", rule_at);
    retriers.push_back(std::move(retrier));
  });
  return retriers;
}

std::vector<Catcher> check_catch(Checker& c, const Value& state, const Location& at,
                                 ScopeCheck& scope, bool jsonata) {
  std::vector<Catcher> catchers;
  for_each_rule(c, state, "Catch", at,
                [&](const Value& rule, const Location& rule_at, std::size_t i, std::size_t count) {
    Catcher catcher;
    if (jsonata) {
      // Only where it leads is read; Assign names variables all the same.
      if (rule.find("Assign") != nullptr) {
        c.unsupported("Variables (Assign)", rule_at.member("Assign"));
      }
    } else {
      c.allowed_fields(rule, {"ErrorEquals", "Next", "ResultPath", "Comment"}, rule_at);
      catcher.error_equals = error_equals(c, rule, rule_at, "Catch", i, count);
      catcher.result_path =
          c.nullable_path_field(rule, "ResultPath", rule_at, Checker::PathRule::kReference);
      (void)c.string_field(rule, "Comment", rule_at);
    }
    if (rule.find("Next") == nullptr) {
      c.schema_error(message::fields_required({"Next"}), rule_at);
    } else if (auto next = c.string_field(rule, "Next", rule_at)) {
      c.link(scope, *next, rule_at.member("Next"));
      catcher.next = std::move(*next);
    }
    catchers.push_back(std::move(catcher));
  });
  return catchers;
}

}  // namespace vorn::aws

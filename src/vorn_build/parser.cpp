#include "parser.hpp"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <type_traits>

#include "base/key_order.hpp"
#include "json/document.hpp"

namespace vorn::build {

namespace {

using json::Node;

template <class T>
using Parsed = Result<T, ParseError>;
using Checked = Result<void, ParseError>;

// Every key that any object of a definition may hold. An object is read in
// one pass into a slot per key (Fields), so each later lookup is an index.
enum Key : std::uint8_t {
  kType,
  kResource,
  kParameters,
  kResultSelector,
  kInputPath,
  kOutputPath,
  kResultPath,
  kNext,
  kEnd,
  kRetry,
  kCatch,
  kComment,
  kResult,
  kChoices,
  kDefault,
  kError,
  kCause,
  kStartAt,
  kStates,
  kVariable,
  kNumericEquals,
  kStringEquals,
  kBooleanEquals,
  kErrorEquals,
  kIntervalSeconds,
  kMaxAttempts,
  kBackoffRate,
  kKeyCount,
};

constexpr std::array<std::string_view, kKeyCount> kKeyNames = {
    "Type",         "Resource",      "Parameters",  "ResultSelector", "InputPath",
    "OutputPath",   "ResultPath",    "Next",        "End",            "Retry",
    "Catch",        "Comment",       "Result",      "Choices",        "Default",
    "Error",        "Cause",         "StartAt",     "States",         "Variable",
    "NumericEquals", "StringEquals", "BooleanEquals", "ErrorEquals",  "IntervalSeconds",
    "MaxAttempts",  "BackoffRate",
};

using KeyList = std::span<const Key>;

constexpr std::array<Key, 3> kTopFields = {kStartAt, kStates, kComment};
constexpr std::array<Key, 12> kTaskFields = {kType,       kResource, kParameters, kResultSelector,
                                             kInputPath,  kOutputPath, kResultPath, kNext,
                                             kEnd,        kRetry,    kCatch,      kComment};
constexpr std::array<Key, 9> kPassFields = {kType,       kResult,     kParameters,
                                            kInputPath,  kOutputPath, kResultPath,
                                            kNext,       kEnd,        kComment};
constexpr std::array<Key, 4> kChoiceFields = {kType, kChoices, kDefault, kComment};
constexpr std::array<Key, 2> kSucceedFields = {kType, kComment};
constexpr std::array<Key, 4> kFailFields = {kType, kError, kCause, kComment};
constexpr std::array<Key, 5> kChoiceRuleFields = {kVariable, kNext, kNumericEquals,
                                                  kStringEquals, kBooleanEquals};
constexpr std::array<Key, 4> kRetryFields = {kErrorEquals, kIntervalSeconds, kMaxAttempts,
                                             kBackoffRate};
constexpr std::array<Key, 2> kCatchFields = {kErrorEquals, kNext};

constexpr const char* kMissingOperator = "operator (NumericEquals, StringEquals, or BooleanEquals)";

// The known keys by length, first and last letter (each taken modulo 32), so
// that finding a key's slot takes one comparison of its text. Built from
// kKeyNames; an entry names the one key of that shape, or kKeyCount.
constexpr std::size_t kLongestKey = 15;
using KeyShapes = std::array<std::array<std::array<Key, 32>, 32>, kLongestKey + 1>;
constexpr KeyShapes kKeyByShape = [] {
  KeyShapes table{};
  for (auto& by_first : table) {
    for (auto& by_last : by_first) by_last.fill(kKeyCount);
  }
  for (std::size_t k = 0; k < kKeyCount; ++k) {
    const std::string_view name = kKeyNames[k];
    table[name.size()][name.front() & 31][name.back() & 31] = static_cast<Key>(k);
  }
  return table;
}();

constexpr bool shapes_are_distinct() {
  for (std::size_t a = 0; a < kKeyCount; ++a) {
    for (std::size_t b = a + 1; b < kKeyCount; ++b) {
      const std::string_view x = kKeyNames[a];
      const std::string_view y = kKeyNames[b];
      if (x.size() == y.size() && (x.front() & 31) == (y.front() & 31) &&
          (x.back() & 31) == (y.back() & 31)) {
        return false;
      }
    }
  }
  return true;
}
static_assert(shapes_are_distinct(), "no two keys share a length, first and last letter");

Key key_of(std::string_view text) {
  if (text.empty() || text.size() > kLongestKey) return kKeyCount;
  const Key key = kKeyByShape[text.size()][text.front() & 31][text.back() & 31];
  return key != kKeyCount && kKeyNames[key] == text ? key : kKeyCount;
}

// An object's members by key, read in one pass: the value of each known key
// (the last one written, when a key repeats) and, among the keys no object
// of a definition may hold, the first in byte order.
class Fields {
 public:
  explicit Fields(const Node& object) {
    object.for_each_member([this](std::string_view key, const Node& value) {
      const Key k = key_of(key);
      if (k == kKeyCount) {
        if (!unknown_ || key_less(key, *unknown_)) unknown_ = key;
        return;
      }
      slots_[k].node = value;
      present_ |= std::uint32_t{1} << k;
    });
  }

  const Node* find(Key key) const { return has(key) ? &slots_[key].node : nullptr; }
  // JSON null counts as absent for every optional key.
  const Node* find_present(Key key) const {
    const Node* value = find(key);
    return value == nullptr || value->is_null() ? nullptr : value;
  }

  // The first key in byte order that `allowed` does not hold, if any: the
  // key a walk over the sorted members would stop at.
  std::optional<std::string_view> first_not_in(KeyList allowed) const {
    std::optional<std::string_view> first = unknown_;
    std::uint32_t others = present_;
    for (Key key : allowed) others &= ~(std::uint32_t{1} << key);
    for (std::size_t k = 0; others != 0; ++k, others >>= 1) {
      if ((others & 1) != 0 && (!first || key_less(kKeyNames[k], *first))) first = kKeyNames[k];
    }
    return first;
  }

 private:
  bool has(Key key) const { return (present_ & (std::uint32_t{1} << key)) != 0; }

  // A slot is only read once its presence bit is set, so the slots are left
  // unmade until then: most objects fill few of them.
  union Slot {
    Slot() {}
    Node node;
  };
  static_assert(std::is_trivially_copyable_v<Node> && std::is_trivially_destructible_v<Node>);

  std::array<Slot, kKeyCount> slots_;
  std::uint32_t present_ = 0;
  std::optional<std::string_view> unknown_;
};
static_assert(kKeyCount <= 32, "Fields keeps one presence bit per key");

// Where a value sits in the definition: a chain of keys and indices, spelled
// out as path text ("States.A.Retry[0]") only when an error needs it. Each
// piece refers to its parent, which must outlive it.
class Where {
 public:
  static Where root() { return Where(nullptr, {}, 0, Piece::Root); }
  Where key(std::string_view key) const { return Where(this, key, 0, Piece::Key); }
  Where index(std::size_t index) const { return Where(this, {}, index, Piece::Index); }

  std::string text() const {
    std::string out;
    append_to(out);
    return out;
  }

 private:
  enum class Piece { Root, Key, Index };
  Where(const Where* parent, std::string_view key, std::size_t index, Piece piece)
      : parent_(parent), key_(key), index_(index), piece_(piece) {}

  // The text of a key K under path P is P + "." + K, or just K when P is
  // empty; an index i is P + "[i]".
  void append_to(std::string& out) const {
    if (piece_ == Piece::Root) return;
    parent_->append_to(out);
    if (piece_ == Piece::Key) {
      if (!out.empty()) out.push_back('.');
      out.append(key_);
    } else {
      out.push_back('[');
      out.append(std::to_string(index_));
      out.push_back(']');
    }
  }

  const Where* parent_;
  std::string_view key_;
  std::size_t index_;
  Piece piece_;
};

std::string index_suffix(std::size_t index) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
  // "[" + std::to_string(...).
  std::string suffix = "[";
  suffix += std::to_string(index);
  suffix += ']';
  return suffix;
}

// A whole value of the wrong type is named by the last segment of its path.
std::string own_field_name(std::string_view path) {
  if (path.empty()) return "(root)";
  const std::size_t dot = path.rfind('.');
  return std::string(dot == std::string_view::npos ? path : path.substr(dot + 1));
}

ParseError invalid_field(std::string path, std::string field, const char* expected) {
  return ParseError{std::move(path), ParseError::InvalidField{std::move(field), expected}};
}

ParseError wrong_key_type(const Where& where, Key key, const char* expected) {
  return invalid_field(where.key(kKeyNames[key]).text(), std::string(kKeyNames[key]), expected);
}

ParseError missing(const Where& where, std::string name) {
  return ParseError{where.text(), ParseError::MissingRequiredField{std::move(name)}};
}

ParseError not_a(const Where& where, const char* expected) {
  std::string path = where.text();
  std::string field = own_field_name(path);
  return invalid_field(std::move(path), std::move(field), expected);
}

Checked check_fields(const Where& where, const Fields& object, KeyList allowed) {
  if (const auto key = object.first_not_in(allowed)) {
    return fail(ParseError{where.key(*key).text(), ParseError::UnknownField{std::string(*key)}});
  }
  return {};
}

Checked require_string(const Where& where, const Fields& object, Key key, std::string& out) {
  const Node* value = object.find(key);
  if (value == nullptr) return fail(missing(where, std::string(kKeyNames[key])));
  if (!value->is_string()) return fail(wrong_key_type(where, key, "string"));
  out = value->as_string();
  return {};
}

Checked opt_string(const Where& where, const Fields& object, Key key,
                   std::optional<std::string>& out) {
  const Node* value = object.find_present(key);
  if (value == nullptr) return {};
  if (!value->is_string()) return fail(wrong_key_type(where, key, "string"));
  out.emplace(value->as_string());
  return {};
}

Checked opt_bool(const Where& where, const Fields& object, Key key, bool& out) {
  const Node* value = object.find_present(key);
  if (value == nullptr) return {};
  if (!value->is_bool()) return fail(wrong_key_type(where, key, "boolean"));
  out = value->as_bool();
  return {};
}

Checked opt_u32(const Where& where, const Fields& object, Key key,
                std::optional<std::uint32_t>& out) {
  const Node* value = object.find_present(key);
  if (value == nullptr) return {};
  if (!value->is_uint()) return fail(wrong_key_type(where, key, "non-negative integer"));
  if (value->as_uint() > std::numeric_limits<std::uint32_t>::max()) {
    return fail(wrong_key_type(where, key, "integer within u32 range"));
  }
  out = static_cast<std::uint32_t>(value->as_uint());
  return {};
}

Checked opt_f32(const Where& where, const Fields& object, Key key, std::optional<float>& out) {
  const Node* value = object.find_present(key);
  if (value == nullptr) return {};
  if (value->is_uint()) {
    out = static_cast<float>(value->as_uint());
  } else if (value->is_int()) {
    out = static_cast<float>(value->as_int());
  } else if (value->is_float()) {
    out = static_cast<float>(value->as_float());
  } else {
    return fail(wrong_key_type(where, key, "number"));
  }
  return {};
}

Checked opt_result_path(const Where& where, const Fields& object, ResultPathAst& out) {
  const Node* value = object.find(kResultPath);
  if (value == nullptr) return {};  // Unset
  if (value->is_null()) {
    out = ResultPathNull{};
  } else if (value->is_string()) {
    out = ResultPathText{std::string(value->as_string())};
  } else {
    return fail(wrong_key_type(where, kResultPath, "string or null"));
  }
  return {};
}

// Parameters, ResultSelector and Result are kept as written, of any type:
// the only parts of a definition that become Value trees.
void take_opt_value(const Fields& object, Key key, std::optional<json::Value>& out) {
  if (const Node* value = object.find_present(key)) out = value->to_value();
}

// Reads each element of the array `list` at `where` with
// parse_one(where.index(i), element, rule), stopping at the first failure.
template <class Rule, class ParseOne>
Checked parse_rule_array(const Where& where, const Node& list, std::vector<Rule>& rules,
                         ParseOne parse_one) {
  if (!list.is_array()) return fail(not_a(where, "array"));
  std::optional<ParseError> error;
  std::size_t i = 0;
  list.for_each_element([&](const Node& element) {
    if (error) return;
    const Where rule_where = where.index(i++);
    auto parsed = parse_one(rule_where, element, rules.emplace_back());
    if (!parsed.ok()) error = std::move(parsed).error();
  });
  if (error) return fail(std::move(*error));
  return {};
}

Checked parse_error_equals(const Where& rule, const Fields& fields,
                           std::vector<std::string>& names) {
  const Node* value = fields.find(kErrorEquals);
  if (value == nullptr) return fail(missing(rule, "ErrorEquals"));
  const Where list = rule.key("ErrorEquals");
  if (!value->is_array()) return fail(not_a(list, "array"));
  std::optional<ParseError> error;
  value->for_each_element([&](const Node& item) {
    if (error) return;
    if (!item.is_string()) {
      const std::size_t j = names.size();
      error = invalid_field(list.index(j).text(), index_suffix(j), "string");
      return;
    }
    names.emplace_back(item.as_string());
  });
  if (error) return fail(std::move(*error));
  return {};
}

Checked parse_retry(const Where& where, const Node& value, RetryAst& retry) {
  if (!value.is_object()) return fail(not_a(where, "object"));
  const Fields rule(value);
  VORN_TRY(check_fields(where, rule, kRetryFields));
  VORN_TRY(parse_error_equals(where, rule, retry.error_equals));
  VORN_TRY(opt_u32(where, rule, kIntervalSeconds, retry.interval_seconds));
  VORN_TRY(opt_u32(where, rule, kMaxAttempts, retry.max_attempts));
  VORN_TRY(opt_f32(where, rule, kBackoffRate, retry.backoff_rate));
  return {};
}

Checked parse_catch(const Where& where, const Node& value, CatchAst& catcher) {
  if (!value.is_object()) return fail(not_a(where, "object"));
  const Fields rule(value);
  VORN_TRY(check_fields(where, rule, kCatchFields));
  VORN_TRY(parse_error_equals(where, rule, catcher.error_equals));
  VORN_TRY(require_string(where, rule, kNext, catcher.next));
  return {};
}

// The first operator key present decides, in the order NumericEquals,
// StringEquals, BooleanEquals; the others are ignored. JSON null counts as
// present (and so as the wrong type).
Checked parse_operator(const Where& rule_where, const Fields& rule, ChoiceOperator& op) {
  if (const Node* value = rule.find(kNumericEquals)) {
    if (value->is_int()) {
      op = NumericEqualsOp{value->as_int()};
    } else if (value->is_uint() && value->as_uint() <= std::numeric_limits<std::int64_t>::max()) {
      op = NumericEqualsOp{static_cast<std::int64_t>(value->as_uint())};
    } else {
      return fail(wrong_key_type(rule_where, kNumericEquals, "integer"));
    }
    return {};
  }
  if (const Node* value = rule.find(kStringEquals)) {
    if (!value->is_string()) return fail(wrong_key_type(rule_where, kStringEquals, "string"));
    op = StringEqualsOp{std::string(value->as_string())};
    return {};
  }
  if (const Node* value = rule.find(kBooleanEquals)) {
    if (!value->is_bool()) return fail(wrong_key_type(rule_where, kBooleanEquals, "boolean"));
    op = BooleanEqualsOp{value->as_bool()};
    return {};
  }
  return fail(missing(rule_where, kMissingOperator));
}

Checked parse_choice_rule(const Where& where, const Node& value, ChoiceRuleAst& rule) {
  if (!value.is_object()) return fail(not_a(where, "object"));
  const Fields fields(value);
  VORN_TRY(check_fields(where, fields, kChoiceRuleFields));
  VORN_TRY(require_string(where, fields, kVariable, rule.variable));
  VORN_TRY(require_string(where, fields, kNext, rule.next));
  return parse_operator(where, fields, rule.op);
}

// An absent Retry or Catch is an empty list; a present one, null included,
// must be an array.
template <class Rule, class ParseOne>
Checked parse_opt_rules(const Where& where, const Fields& state, Key key, std::vector<Rule>& rules,
                        ParseOne parse_one) {
  const Node* list = state.find(key);
  if (list == nullptr) return {};
  return parse_rule_array(where.key(kKeyNames[key]), *list, rules, parse_one);
}

Checked parse_task(const Where& where, const Fields& state, TaskStateAst& task) {
  VORN_TRY(check_fields(where, state, kTaskFields));
  VORN_TRY(require_string(where, state, kResource, task.resource));
  take_opt_value(state, kParameters, task.parameters);
  take_opt_value(state, kResultSelector, task.result_selector);
  VORN_TRY(opt_string(where, state, kInputPath, task.input_path));
  VORN_TRY(opt_string(where, state, kOutputPath, task.output_path));
  VORN_TRY(opt_result_path(where, state, task.result_path));
  VORN_TRY(opt_string(where, state, kNext, task.next));
  VORN_TRY(opt_bool(where, state, kEnd, task.end));
  VORN_TRY(parse_opt_rules(where, state, kRetry, task.retry, parse_retry));
  VORN_TRY(parse_opt_rules(where, state, kCatch, task.catch_, parse_catch));
  return opt_string(where, state, kComment, task.comment);
}

Checked parse_pass(const Where& where, const Fields& state, PassStateAst& pass) {
  VORN_TRY(check_fields(where, state, kPassFields));
  take_opt_value(state, kResult, pass.result);
  take_opt_value(state, kParameters, pass.parameters);
  VORN_TRY(opt_string(where, state, kInputPath, pass.input_path));
  VORN_TRY(opt_string(where, state, kOutputPath, pass.output_path));
  VORN_TRY(opt_result_path(where, state, pass.result_path));
  VORN_TRY(opt_string(where, state, kNext, pass.next));
  VORN_TRY(opt_bool(where, state, kEnd, pass.end));
  return opt_string(where, state, kComment, pass.comment);
}

Checked parse_choice(const Where& where, const Fields& state, ChoiceStateAst& choice) {
  VORN_TRY(check_fields(where, state, kChoiceFields));
  const Node* choices = state.find(kChoices);
  if (choices == nullptr) return fail(missing(where, "Choices"));
  VORN_TRY(parse_rule_array(where.key("Choices"), *choices, choice.choices, parse_choice_rule));
  VORN_TRY(opt_string(where, state, kDefault, choice.default_));
  return opt_string(where, state, kComment, choice.comment);
}

Checked parse_succeed(const Where& where, const Fields& state, SucceedStateAst& succeed) {
  VORN_TRY(check_fields(where, state, kSucceedFields));
  return opt_string(where, state, kComment, succeed.comment);
}

Checked parse_fail(const Where& where, const Fields& state, FailStateAst& fail_state) {
  VORN_TRY(check_fields(where, state, kFailFields));
  VORN_TRY(opt_string(where, state, kError, fail_state.error));
  VORN_TRY(opt_string(where, state, kCause, fail_state.cause));
  return opt_string(where, state, kComment, fail_state.comment);
}

// The Type decides before any key is checked, so an unknown type wins over
// unknown keys. The state is built in place, in the AST that holds it.
Checked parse_state(const Where& where, const Node& value, StateAst& state) {
  if (!value.is_object()) return fail(not_a(where, "object"));
  const Fields fields(value);
  const Node* type_value = fields.find(kType);
  if (type_value == nullptr) return fail(missing(where, "Type"));
  if (!type_value->is_string()) return fail(wrong_key_type(where, kType, "string"));
  const std::string_view type = type_value->as_string();
  if (type == "Task") return parse_task(where, fields, state.emplace<TaskStateAst>());
  if (type == "Pass") return parse_pass(where, fields, state.emplace<PassStateAst>());
  if (type == "Choice") return parse_choice(where, fields, state.emplace<ChoiceStateAst>());
  if (type == "Succeed") return parse_succeed(where, fields, state.emplace<SucceedStateAst>());
  if (type == "Fail") return parse_fail(where, fields, state.emplace<FailStateAst>());
  return fail(
      ParseError{where.key("Type").text(), ParseError::UnsupportedStateType{std::string(type)}});
}

}  // namespace

// The definition is read straight from the document of its text: only the
// static data (Parameters, ResultSelector, Result) becomes Value trees.
Result<AslAst, ParseError> parse(std::string_view text) {
  auto read = json::read_document(text);
  if (!read.ok())
    return fail(ParseError{"", ParseError::InvalidJson{std::move(read.error().message)}});
  const Node root = read.value().root();

  const Where top_where = Where::root();
  if (!root.is_object()) return fail(not_a(top_where, "object"));
  const Fields top(root);
  VORN_TRY(check_fields(top_where, top, kTopFields));
  AslAst ast;
  VORN_TRY(require_string(top_where, top, kStartAt, ast.start_at));
  const Node* states_value = top.find(kStates);
  if (states_value == nullptr) return fail(missing(top_where, "States"));
  const Where states_where = top_where.key("States");
  if (!states_value->is_object()) return fail(not_a(states_where, "object"));
  // States are read in name order, so the first bad one in that order is
  // the one reported.
  const json::Members states = states_value->members();
  ast.states.reserve(states.size());
  for (const json::Members::Member& member : states) {
    NamedState& named = ast.states.emplace_back();
    named.name = member.key;
    VORN_TRY(parse_state(states_where.key(member.key), member.value, named.state));
  }
  VORN_TRY(opt_string(top_where, top, kComment, ast.comment));
  return ast;
}

}  // namespace vorn::build

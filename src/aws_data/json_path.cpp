#include "json_path.hpp"

#include <charconv>
#include <limits>

namespace vorn::aws {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_word_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '_';
}

// A recursive-descent reader over the expression; every fault is built by
// fault() so the messages read alike.
class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  Result<std::vector<PathStep>, PathParseError> steps_until_end() {
    std::vector<PathStep> steps;
    while (pos_ < text_.size()) {
      if (steps.size() == kMaxPathSteps) return fault("path has more than 256 steps");
      VORN_TRY_ASSIGN(PathStep step, next_step(/*in_filter=*/false));
      steps.push_back(std::move(step));
    }
    return steps;
  }

  // Steps after '@' in a filter: members and indices only, up to an operator.
  Result<std::vector<PathStep>, PathParseError> filter_subject() {
    std::vector<PathStep> steps;
    while (pos_ < text_.size() && (peek() == '.' || peek() == '[')) {
      if (steps.size() == kMaxPathSteps) return fault("path has more than 256 steps");
      VORN_TRY_ASSIGN(PathStep step, next_step(/*in_filter=*/true));
      if (step.deep || (step.kind != PathStep::Kind::kMember && step.kind != PathStep::Kind::kIndex)) {
        return fault("a filter may only name members and indices after '@'");
      }
      steps.push_back(std::move(step));
    }
    return steps;
  }

  std::size_t pos_ = 0;

  char peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  bool at_end() const { return pos_ >= text_.size(); }
  void skip_spaces() {
    while (!at_end() && peek() == ' ') ++pos_;
  }
  Failure<PathParseError> fault(std::string message) const {
    return fail(PathParseError{std::move(message), pos_});
  }
  Failure<PathParseError> unexpected() const {
    if (at_end()) return fault("unexpected end of path");
    return fault(std::string("unexpected character '") + peek() + "'");
  }

 private:
  Result<PathStep, PathParseError> next_step(bool in_filter) {
    PathStep step;
    if (peek() == '.' && peek(1) == '.') {
      pos_ += 2;
      step.deep = true;
      if (peek() == '[') return bracket(std::move(step));
      if (peek() == '.') return unexpected();
      return dotted(std::move(step), in_filter);
    }
    if (peek() == '.') {
      ++pos_;
      // "$.[0]" and "$.a.[0]": Jayway reads a bracket after a dot as that bracket.
      if (peek() == '[' && !in_filter) return bracket(std::move(step));
      return dotted(std::move(step), in_filter);
    }
    if (peek() == '[') return bracket(std::move(step));
    return unexpected();
  }

  // After '.': '*' or a name running to the next '.' or '['.
  Result<PathStep, PathParseError> dotted(PathStep step, bool in_filter) {
    if (peek() == '*') {
      ++pos_;
      step.kind = PathStep::Kind::kWildcard;
      return step;
    }
    const std::size_t start = pos_;
    while (!at_end() && peek() != '.' && peek() != '[') {
      const char c = peek();
      if (in_filter && (c == ' ' || c == ')' || c == '=' || c == '!' || c == '<' || c == '>' ||
                        c == '&')) {
        break;
      }
      if (c == '(' || c == ')') return fault("function calls are not supported");
      ++pos_;
    }
    if (pos_ == start) return fault("expected a member name");
    step.kind = PathStep::Kind::kMember;
    step.names.emplace_back(text_.substr(start, pos_ - start));
    return step;
  }

  Result<PathStep, PathParseError> bracket(PathStep step) {
    ++pos_;  // '['
    skip_spaces();
    const char c = peek();
    if (c == '*') {
      ++pos_;
      step.kind = PathStep::Kind::kWildcard;
    } else if (c == '?') {
      VORN_TRY(filter(step));
    } else if (c == '\'' || c == '"') {
      VORN_TRY(quoted_names(step));
    } else if (is_digit(c) || c == '-' || c == ':') {
      VORN_TRY(numbers(step));
    } else {
      return unexpected();
    }
    skip_spaces();
    if (peek() != ']') return at_end() ? fault("expected ']'") : unexpected();
    ++pos_;
    return step;
  }

  // Quoted names, no escapes: the name runs to the next matching quote.
  Result<void, PathParseError> quoted_names(PathStep& step) {
    for (;;) {
      const char quote = peek();
      if (quote != '\'' && quote != '"') return unexpected();
      const std::size_t start = ++pos_;
      const std::size_t end = text_.find(quote, start);
      if (end == std::string_view::npos) {
        pos_ = start - 1;
        return fault("unterminated quoted name");
      }
      step.names.emplace_back(text_.substr(start, end - start));
      pos_ = end + 1;
      skip_spaces();
      if (peek() != ',') break;
      ++pos_;
      skip_spaces();
    }
    step.kind = step.names.size() == 1 ? PathStep::Kind::kMember : PathStep::Kind::kMembers;
    return {};
  }

  Result<std::int64_t, PathParseError> integer() {
    const std::size_t start = pos_;
    if (peek() == '-') ++pos_;
    if (!is_digit(peek())) return unexpected();
    while (is_digit(peek())) ++pos_;
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + pos_, n);
    if (ec != std::errc()) {
      pos_ = start;
      return fault("index out of range");
    }
    return n;
  }

  // [n], [n,m,...], [a:b], [a:], [:b].
  Result<void, PathParseError> numbers(PathStep& step) {
    std::optional<std::int64_t> first;
    if (peek() != ':') {
      VORN_TRY_ASSIGN(first, integer());
    }
    skip_spaces();
    if (peek() == ':') {
      ++pos_;
      skip_spaces();
      step.kind = PathStep::Kind::kSlice;
      step.from = first;
      if (peek() != ']') {
        VORN_TRY_ASSIGN(step.to, integer());
      }
      if (peek() == ':') return fault("slice steps are not supported");
      return {};
    }
    step.indices.push_back(*first);
    while (peek() == ',') {
      ++pos_;
      skip_spaces();
      VORN_TRY_ASSIGN(std::int64_t n, integer());
      step.indices.push_back(n);
      skip_spaces();
    }
    step.kind = step.indices.size() == 1 ? PathStep::Kind::kIndex : PathStep::Kind::kIndices;
    return {};
  }

  // ?( @... [op operand] [&& @... [op operand]]... )
  Result<void, PathParseError> filter(PathStep& step) {
    ++pos_;  // '?'
    if (peek() != '(') return unexpected();
    ++pos_;
    step.kind = PathStep::Kind::kFilter;
    for (;;) {
      skip_spaces();
      if (peek() != '@') return unexpected();
      ++pos_;
      Filter f;
      VORN_TRY_ASSIGN(f.subject, filter_subject());
      skip_spaces();
      VORN_TRY_ASSIGN(f.op, filter_op());
      if (f.op != FilterOp::kExists) {
        skip_spaces();
        VORN_TRY(operand(f));
      }
      step.filter.push_back(std::move(f));
      skip_spaces();
      if (peek() == '&' && peek(1) == '&') {
        pos_ += 2;
        continue;
      }
      if (peek() != ')') return unexpected();
      ++pos_;
      return {};
    }
  }

  Result<FilterOp, PathParseError> filter_op() {
    const char a = peek(), b = peek(1);
    if (a == ')' || a == '&') return FilterOp::kExists;
    if (a == '=' && b == '=') return pos_ += 2, FilterOp::kEq;
    if (a == '!' && b == '=') return pos_ += 2, FilterOp::kNe;
    if (a == '<' && b == '=') return pos_ += 2, FilterOp::kLe;
    if (a == '>' && b == '=') return pos_ += 2, FilterOp::kGe;
    if (a == '<') return pos_ += 1, FilterOp::kLt;
    if (a == '>') return pos_ += 1, FilterOp::kGt;
    return at_end() ? fault("unexpected end of path") : fault("expected a comparison operator");
  }

  Result<void, PathParseError> operand(Filter& f) {
    const char c = peek();
    if (c == '@' || c == '$') {
      ++pos_;
      f.operand_source =
          c == '@' ? Filter::OperandSource::kCandidate : Filter::OperandSource::kDocument;
      VORN_TRY_ASSIGN(f.operand_path, filter_subject());
      return {};
    }
    if (is_word_start(c)) {
      const std::size_t start = pos_;
      while (!at_end() && is_word_part(peek())) ++pos_;
      const std::string_view word = text_.substr(start, pos_ - start);
      if (word == "true" || word == "false") {
        f.operand = Value::boolean(word == "true");
      } else if (word == "null") {
        f.operand = Value();
      } else {
        f.operand = Value::string(std::string(word));
      }
      return {};
    }
    VORN_TRY_ASSIGN(f.operand, literal());
    return {};
  }

  static bool is_word_start(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  }
  static bool is_word_part(char c) { return is_word_start(c) || is_digit(c); }

  Result<Value, PathParseError> literal() {
    const char c = peek();
    if (c == '\'' || c == '"') {
      const std::size_t end = text_.find(c, pos_ + 1);
      if (end == std::string_view::npos) return fault("unterminated string");
      Value v = Value::string(std::string(text_.substr(pos_ + 1, end - pos_ - 1)));
      pos_ = end + 1;
      return v;
    }
    std::size_t end = pos_;
    while (end < text_.size() && (is_digit(text_[end]) || text_[end] == '-' ||
                                  text_[end] == '+' || text_[end] == '.' || text_[end] == 'e' ||
                                  text_[end] == 'E')) {
      ++end;
    }
    auto number = Value::number_from_text(text_.substr(pos_, end - pos_));
    if (!number.ok()) return fault("expected a number, a string, true, false or null");
    pos_ = end;
    return std::move(number).value();
  }

  std::string_view text_;
};

std::int64_t resolve_index(std::int64_t index, std::size_t size) {
  return index < 0 ? index + static_cast<std::int64_t>(size) : index;
}

const Value* element(const Value& array, std::int64_t index) {
  const auto items = array.items();
  const std::int64_t i = resolve_index(index, items.size());
  if (i < 0 || i >= static_cast<std::int64_t>(items.size())) return nullptr;
  return &items[static_cast<std::size_t>(i)];
}

// A definite step (member or index) on one value, or null.
const Value* definite_step(const PathStep& step, const Value& v) {
  if (step.kind == PathStep::Kind::kMember) return v.is_object() ? v.find(step.names[0]) : nullptr;
  return v.is_array() ? element(v, step.indices[0]) : nullptr;
}

// The value members and indices lead to from `start`, or null.
const Value* follow(const std::vector<PathStep>& steps, const Value& start) {
  const Value* v = &start;
  for (const PathStep& s : steps) {
    v = definite_step(s, *v);
    if (v == nullptr) return nullptr;
  }
  return v;
}

bool filter_holds(const Filter& f, const Value& candidate, const Value& document) {
  const Value* subject = follow(f.subject, candidate);
  if (subject == nullptr) return false;
  const Value* operand_value = &f.operand;
  if (f.operand_source != Filter::OperandSource::kLiteral) {
    const bool on_candidate = f.operand_source == Filter::OperandSource::kCandidate;
    operand_value = follow(f.operand_path, on_candidate ? candidate : document);
    if (operand_value == nullptr) return false;
  }
  const Value& operand = *operand_value;
  switch (f.op) {
    case FilterOp::kExists: return true;
    case FilterOp::kEq: return subject->kind() == operand.kind() && *subject == operand;
    case FilterOp::kNe: return !(subject->kind() == operand.kind() && *subject == operand);
    default: break;
  }
  int order = 0;
  if (subject->is_number() && operand.is_number()) {
    const double a = subject->number_value(), b = operand.number_value();
    if (a != a || b != b) return false;
    order = a < b ? -1 : (a > b ? 1 : 0);
  } else if (subject->is_string() && operand.is_string()) {
    const int c = subject->as_string().compare(operand.as_string());
    order = c < 0 ? -1 : (c > 0 ? 1 : 0);
  } else {
    return false;
  }
  switch (f.op) {
    case FilterOp::kLt: return order < 0;
    case FilterOp::kLe: return order <= 0;
    case FilterOp::kGt: return order > 0;
    case FilterOp::kGe: return order >= 0;
    default: return false;
  }
}

// The selector of `step` (ignoring `deep`) applied to one node.
void select(const PathStep& step, const Value& node, const Value& document,
            std::vector<const Value*>& out) {
  switch (step.kind) {
    case PathStep::Kind::kMember:
    case PathStep::Kind::kMembers:
      if (!node.is_object()) return;
      for (const std::string& name : step.names) {
        if (const Value* v = node.find(name)) out.push_back(v);
      }
      return;
    case PathStep::Kind::kIndex:
    case PathStep::Kind::kIndices:
      if (!node.is_array()) return;
      for (std::int64_t index : step.indices) {
        if (const Value* v = element(node, index)) out.push_back(v);
      }
      return;
    case PathStep::Kind::kSlice: {
      if (!node.is_array()) return;
      const auto items = node.items();
      const auto size = static_cast<std::int64_t>(items.size());
      auto clamp = [size](std::int64_t i) {
        if (i < 0) i += size;
        return i < 0 ? std::int64_t{0} : (i > size ? size : i);
      };
      const std::int64_t from = step.from ? clamp(*step.from) : 0;
      const std::int64_t to = step.to ? clamp(*step.to) : size;
      for (std::int64_t i = from; i < to; ++i) out.push_back(&items[static_cast<std::size_t>(i)]);
      return;
    }
    case PathStep::Kind::kWildcard:
      for (const Value& v : node.items()) out.push_back(&v);
      for (const Member& m : node.members()) out.push_back(&m.value);
      return;
    case PathStep::Kind::kFilter: {
      auto test = [&](const Value& candidate) {
        if (!candidate.is_object()) return;  // '@' stands for objects only
        for (const Filter& f : step.filter) {
          if (!filter_holds(f, candidate, document)) return;
        }
        out.push_back(&candidate);
      };
      if (node.is_array()) {
        for (const Value& v : node.items()) test(v);
      } else {
        test(node);
      }
      return;
    }
  }
}

// The selector applied to `root` and every value inside it, in document
// order (each node before its children), without recursion.
// `work` counts the nodes visited; the walk stops once it passes the budget.
void select_deep(const PathStep& step, const Value& root, const Value& document,
                 std::vector<const Value*>& out, std::size_t& work) {
  std::vector<const Value*> stack{&root};
  while (!stack.empty() && ++work <= kMaxPathWork) {
    const Value* node = stack.back();
    stack.pop_back();
    select(step, *node, document, out);
    const auto items = node->items();
    for (auto it = items.rbegin(); it != items.rend(); ++it) stack.push_back(&*it);
    const auto members = node->members();
    for (auto it = members.rbegin(); it != members.rend(); ++it) stack.push_back(&it->value);
  }
}

std::string step_form(const PathStep& step) {
  std::string out = step.deep ? ".." : "";
  switch (step.kind) {
    case PathStep::Kind::kMember: return out + bracket_member(step.names[0]);
    case PathStep::Kind::kIndex: return out + bracket_index(step.indices[0]);
    case PathStep::Kind::kMembers:
      out += '[';
      for (std::size_t i = 0; i < step.names.size(); ++i) {
        out += (i ? ",'" : "'") + step.names[i] + "'";
      }
      return out + ']';
    case PathStep::Kind::kIndices:
      out += '[';
      for (std::size_t i = 0; i < step.indices.size(); ++i) {
        out += (i ? "," : "") + std::to_string(step.indices[i]);
      }
      return out + ']';
    case PathStep::Kind::kSlice:
      return out + '[' + (step.from ? std::to_string(*step.from) : "") + ':' +
             (step.to ? std::to_string(*step.to) : "") + ']';
    case PathStep::Kind::kWildcard: return out + "[*]";
    case PathStep::Kind::kFilter: return out + "[?]";
  }
  return out;
}

// "a string", "an object", ...
std::string with_article(Kind kind) {
  const std::string_view name = kind_name(kind);
  return (name[0] == 'a' || name[0] == 'o' ? "an " : "a ") + std::string(name);
}

}  // namespace

std::string bracket_member(std::string_view name) {
  std::string out = "['";
  out.append(name);
  out += "']";
  return out;
}

std::string bracket_index(std::int64_t index) {
  // Appending rather than "[" + to_string(...) keeps GCC 12's -Wrestrict quiet.
  std::string out = "[";
  out += std::to_string(index);
  out += ']';
  return out;
}

std::string to_string(const PathParseError& error) {
  return error.message + " at position " + std::to_string(error.position);
}

std::string to_string(const PathMiss& miss) {
  switch (miss.kind) {
    case PathMiss::Kind::kNoResults: return "No results for path: " + miss.path;
    case PathMiss::Kind::kMissingProperty: return "Missing property in path " + miss.path;
    case PathMiss::Kind::kIndexOutOfRange:
      return "Index out of bounds when evaluating path " + miss.path;
    case PathMiss::Kind::kTooMuchWork:
      return "Evaluating path " + miss.path + " visits more than " + std::to_string(kMaxPathWork) +
             " values";
    case PathMiss::Kind::kNotAnObject:
      return "Expected to find an object with property " + miss.step + " in path " + miss.path +
             " but found " + with_article(miss.found);
    case PathMiss::Kind::kNotAnArray:
      return "Expected to find an array with index " + miss.step + " in path " + miss.path +
             " but found " + with_article(miss.found);
  }
  return {};
}

Result<JsonPath, PathParseError> JsonPath::parse(std::string_view expression) {
  JsonPath path;
  path.text_ = expression;
  if (expression.empty()) return fail(PathParseError{"empty path", 0});
  if (expression[0] != '$') return fail(PathParseError{"a path starts with '$'", 0});
  std::size_t start = 1;
  if (expression.size() > 1 && expression[1] == '$') {
    path.context_ = true;
    start = 2;
  }
  Parser parser(expression);
  parser.pos_ = start;
  VORN_TRY_ASSIGN(path.steps_, parser.steps_until_end());
  for (const PathStep& s : path.steps_) {
    if (s.deep || (s.kind != PathStep::Kind::kMember && s.kind != PathStep::Kind::kIndex)) {
      path.definite_ = false;
    }
  }
  return path;
}

std::string JsonPath::bracket_form() const {
  std::string out = "$";
  for (const PathStep& s : steps_) out += step_form(s);
  return out;
}

const Value* JsonPath::find_in(const Value& document) const {
  return definite_ ? follow(steps_, document) : nullptr;
}

Result<Value, PathMiss> JsonPath::evaluate(const Value& document) const {
  if (definite_) {
    if (const Value* found = follow(steps_, document)) return *found;
    // A miss, the rare case, walks again to say where it stopped.
    const auto resolved_before = [this](std::size_t step) {
      std::string out = "$";
      for (std::size_t i = 0; i < step; ++i) out += step_form(steps_[i]);
      return out;
    };
    const Value* current = &document;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
      const PathStep& s = steps_[i];
      const bool member = s.kind == PathStep::Kind::kMember;
      if (member ? !current->is_object() : !current->is_array()) {
        return fail(PathMiss{member ? PathMiss::Kind::kNotAnObject : PathMiss::Kind::kNotAnArray,
                             resolved_before(i), step_form(s), current->kind()});
      }
      const Value* next = definite_step(s, *current);
      if (next == nullptr) {
        if (i + 1 == steps_.size()) {
          return fail(PathMiss{PathMiss::Kind::kNoResults, bracket_form(), step_form(s),
                               Kind::kNull});
        }
        return fail(PathMiss{member ? PathMiss::Kind::kMissingProperty
                                    : PathMiss::Kind::kIndexOutOfRange,
                             resolved_before(i + 1), step_form(s), Kind::kNull});
      }
      current = next;
    }
    return *current;
  }
  // Deep scans over deep scans multiply; a budget keeps any path on any
  // document from running (or allocating) without bound.
  std::size_t work = 0;
  std::vector<const Value*> current{&document}, next;
  for (const PathStep& s : steps_) {
    next.clear();
    for (const Value* node : current) {
      if (s.deep) {
        select_deep(s, *node, document, next, work);
      } else {
        select(s, *node, document, next);
        ++work;
      }
      if (work > kMaxPathWork || next.size() > kMaxPathWork) {
        return fail(PathMiss{PathMiss::Kind::kTooMuchWork, bracket_form(), {}, Kind::kNull});
      }
    }
    current.swap(next);
    if (current.empty()) break;
  }
  std::vector<Value> matches;
  matches.reserve(current.size());
  for (const Value* v : current) matches.push_back(*v);
  return Value::array(std::move(matches));
}

bool is_plain_path(std::string_view expression) {
  if (expression.empty() || expression[0] != '$') return false;
  std::size_t i = 1;
  while (i < expression.size()) {
    const std::size_t start = ++i;  // past '.' or '['
    if (expression[start - 1] == '.') {
      while (i < expression.size() && is_word_character(expression[i])) ++i;
      if (i == start) return false;
    } else if (expression[start - 1] == '[') {
      while (i < expression.size() && is_digit(expression[i])) ++i;
      if (i == start || i == expression.size() || expression[i] != ']') return false;
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

bool is_reference_path(std::string_view expression) {
  if (is_plain_path(expression)) return true;
  const auto path = JsonPath::parse(expression);
  return path.ok() && path->is_definite() && !path->is_context();
}

}  // namespace vorn::aws

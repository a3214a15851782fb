// The functions on JSON text, objects, numbers and strings: StringToJson,
// JsonToString, JsonMerge, MathRandom, MathAdd, StringSplit and UUID.
#include <array>
#include <cmath>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "aws_data/hash_map_order.hpp"
#include "aws_data/intrinsic_evaluation.hpp"
#include "aws_data/intrinsic_functions.hpp"
#include "aws_data/payload_size.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws::intrinsics {

namespace {

// The largest integer a double holds exactly; seeds beyond it lose digits.
constexpr std::int64_t kMaxExactInteger = 9'007'199'254'740'991;

bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// AWS's JSON reader keeps an integer -0 as the integer 0.
void drop_negative_zero(Value& value) {
  if (value.is_number() && value.is_integral() && value.number_text() == "-0") {
    value = Value::integer(0);
  } else if (value.is_array()) {
    for (Value& item : value.mutable_items()) drop_negative_zero(item);
  } else if (value.is_object()) {
    for (Member& member : value.mutable_members()) drop_negative_zero(member.value);
  }
}

// The UTF-8 sequence starting at text[i]: a lead byte and its continuations.
std::size_t sequence_length(std::string_view text, std::size_t i) {
  std::size_t n = 1;
  while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

// Blank text reads as null, as AWS reads it.
Outcome string_to_json(const Arguments& args) {
  VORN_TRY_ASSIGN(const Value* text, argument_of_kind(args, 0, Kind::kString));
  const std::string_view json = text->as_string();
  bool blank = true;
  for (const char c : json) blank = blank && is_json_space(c);
  if (blank) return Value();
  auto parsed = read_json(json);
  if (!parsed.ok()) return fail("argument 1 is not JSON text: " + to_string(parsed.error()));
  Value value = std::move(parsed).value();
  drop_negative_zero(value);
  return value;
}

Outcome json_to_string(const Arguments& args) {
  VORN_TRY(within_value_limit(compact_size_up_to(args[0], kMaxIntrinsicValueBytes)));
  return Value::string(write_json(args[0]));
}

// Shallow: a member of the second object replaces the first's of that name.
// The merged members come out in Java HashMap order, as AWS writes them.
Outcome json_merge(const Arguments& args) {
  VORN_TRY_ASSIGN(const Value* first, argument_of_kind(args, 0, Kind::kObject));
  VORN_TRY_ASSIGN(const Value* second, argument_of_kind(args, 1, Kind::kObject));
  VORN_TRY_ASSIGN(const Value* deep, argument_of_kind(args, 2, Kind::kBool));
  if (deep->as_bool()) {
    return fail(std::string("a deep merge is not supported: argument 3 must be false"));
  }
  std::vector<Member> merged(first->members().begin(), first->members().end());
  merged.insert(merged.end(), second->members().begin(), second->members().end());
  // Repeated names collapse into the first's place, with the second's value.
  const Value in_insertion_order = Value::object(std::move(merged));
  const auto members = in_insertion_order.members();
  std::vector<std::string_view> names;
  names.reserve(members.size());
  for (const Member& member : members) names.push_back(member.key);
  std::vector<Member> ordered;
  ordered.reserve(members.size());
  for (const std::size_t position : hash_map_order(names)) ordered.push_back(members[position]);
  return Value::object(std::move(ordered));
}

// An integer in [start, end); with a seed, the same one for the same seed.
Outcome math_random(const Arguments& args) {
  VORN_TRY_ASSIGN(const std::int64_t start, rounded_argument(args, 0, kIntMin, kIntMax));
  VORN_TRY_ASSIGN(const std::int64_t end, rounded_argument(args, 1, kIntMin, kIntMax));
  if (start >= end) {
    return fail("the start " + std::to_string(start) + " must be less than the end " +
                std::to_string(end));
  }
  double draw = 0;
  if (args.values.size() == 3) {
    VORN_TRY_ASSIGN(const std::int64_t seed,
                    rounded_argument(args, 2, -kMaxExactInteger, kMaxExactInteger));
    RandomSource seeded(static_cast<std::uint64_t>(seed));
    draw = seeded.uniform01();
  } else {
    draw = args.random.uniform01();
  }
  const auto span = static_cast<double>(end - start);
  return Value::integer(start + static_cast<std::int64_t>(std::floor(draw * span)));
}

// Each argument is rounded first; the sum of two ints always fits.
Outcome math_add(const Arguments& args) {
  VORN_TRY_ASSIGN(const std::int64_t a, rounded_argument(args, 0, kIntMin, kIntMax));
  VORN_TRY_ASSIGN(const std::int64_t b, rounded_argument(args, 1, kIntMin, kIntMax));
  return Value::integer(a + b);
}

// Splits at every character of the delimiter text and drops empty pieces,
// as Java's StringTokenizer does.
Outcome string_split(const Arguments& args) {
  VORN_TRY_ASSIGN(const Value* text_value, argument_of_kind(args, 0, Kind::kString));
  VORN_TRY_ASSIGN(const Value* delimiters_value, argument_of_kind(args, 1, Kind::kString));
  const std::string_view text = text_value->as_string();
  const std::string_view delimiters = delimiters_value->as_string();
  // A table for one-byte characters, a set for the rest, so a long
  // delimiter text costs no more per character than a short one.
  std::array<bool, 128> ascii{};
  std::unordered_set<std::string_view> others;
  for (std::size_t i = 0; i < delimiters.size();) {
    const std::size_t n = sequence_length(delimiters, i);
    const auto byte = static_cast<unsigned char>(delimiters[i]);
    if (n == 1 && byte < 0x80) {
      ascii[byte] = true;
    } else {
      others.insert(delimiters.substr(i, n));
    }
    i += n;
  }
  const auto is_delimiter = [&](std::string_view character) {
    const auto byte = static_cast<unsigned char>(character[0]);
    return character.size() == 1 && byte < 0x80 ? ascii[byte] : others.contains(character);
  };
  std::vector<Value> pieces;
  std::size_t piece_start = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = sequence_length(text, i);
    if (is_delimiter(text.substr(i, n))) {
      if (i > piece_start)
        pieces.push_back(Value::string(text.substr(piece_start, i - piece_start)));
      piece_start = i + n;
    }
    i += n;
  }
  if (text.size() > piece_start) pieces.push_back(Value::string(text.substr(piece_start)));
  return Value::array(std::move(pieces));
}

Outcome uuid(const Arguments& args) {
  return Value::string(random_uuid(args.random));
}

}  // namespace vorn::aws::intrinsics

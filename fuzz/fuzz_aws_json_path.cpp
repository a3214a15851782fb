// Any bytes as an AWS-dialect JSONPath (up to the first newline) and a JSON
// document (the rest): a path parses or reports where it stops, evaluates
// to what its kind promises, and a definite match can be replaced in place.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "aws_data/json_path.hpp"
#include "aws_data/placement.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"
#include "fuzz_input.hpp"

using vorn_fuzz::check;
namespace aws = vorn::aws;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string_view text = input.substr(0, newline);
  const std::string_view document_text =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

  auto path = aws::JsonPath::parse(text);
  if (!path.ok()) {
    check(path.error().position <= text.size() && !path.error().message.empty());
    return 0;
  }
  check(path->steps().size() <= aws::kMaxPathSteps && !path->bracket_form().empty());
  auto read = aws::read_json(document_text);
  if (!read.ok()) {
    check(read.error().line >= 1 && read.error().column >= 1 &&
          read.error().offset <= document_text.size());
  }
  const aws::Value document =
      read.ok() ? *read : aws::read_json(R"({"a":[1,{"b":[2,3],"":{}}],"x y":{"q":null}})").value();

  auto result = path->evaluate(document);
  if (!result.ok()) {
    check(!aws::to_string(result.error()).empty());
    // Only a definite path misses, unless the work budget ran out.
    check(path->is_definite() || result.error().kind == aws::PathMiss::Kind::kTooMuchWork);
    return 0;
  }
  check(path->is_definite() || result->is_array());
  check(aws::compact_size(*result) == aws::write_json(*result).size());
  if (path->is_definite() && !path->is_context()) {
    // What a reference path found, it can replace; and finds the replacement there.
    const aws::Value marker = aws::Value::string("\x01placed");
    auto placed = aws::place(document, *path, marker);
    check(placed.ok());
    auto again = path->evaluate(*placed);
    check(again.ok() && *again == marker);
  }
  return 0;
}

// PayloadTemplate: a payload template (Parameters, ResultSelector,
// ItemSelector, Credentials) compiled once from its JSON object, so every
// evaluation walks a ready tree and never parses a path or a call again.
//
// A member whose key ends in ".$", at any depth of objects and arrays, is
// dynamic: its string value is a path ("$..." on the input, "$$..." on the
// context object) or an intrinsic call, and its output key drops the ".$".
// An object's dynamic members come out after the others, in the order AWS
// writes them (see TemplateNode::output_order).
// Every other member is copied as it is; a subtree without dynamic members is
// kept whole as one literal Value.
//
// A PayloadTemplate owns its tree; literal Values share nodes with the
// definition they came from, so compiling copies no payload data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "aws_data/intrinsic_call.hpp"
#include "aws_data/json_path.hpp"
#include "aws_data/value.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// Templates nested deeper are refused; the evaluator walks them by recursion.
inline constexpr std::size_t kMaxTemplateDepth = 1000;

struct TemplateMember;

struct TemplateNode {
  enum class Kind : std::uint8_t {
    kLiteral,  // copied as it is: no dynamic member anywhere inside
    kObject,   // members, some dynamic at some depth
    kArray,    // items, some dynamic at some depth
    kPath,     // the value of a ".$" member that is a path
    kCall,     // the value of a ".$" member that is an intrinsic call
  };
  Kind kind = Kind::kLiteral;
  Value literal;                         // kLiteral
  std::vector<TemplateMember> members;   // kObject, in template order
  // kObject: the positions in `members` in the order the output writes
  // them, as AWS does: members copied as written first, in template order,
  // then the ".$" members in Java HashMap order (aws_data/hash_map_order.hpp).
  // Empty when that is template order. Members are evaluated in template
  // order either way, so the first failure is the first in the template.
  std::vector<std::uint32_t> output_order;
  std::vector<TemplateNode> items;       // kArray
  JsonPath path;                         // kPath
  std::shared_ptr<const IntrinsicCall> call;  // kCall, never null then
};

struct TemplateMember {
  std::string key;          // the output key: "value" for "value.$"
  std::string written_key;  // as in the template: "value.$"; run-time messages quote it
  TemplateNode value;
};

struct PayloadTemplate {
  TemplateNode root;  // kObject, or kLiteral for a template without dynamic members
};

struct TemplateFault {
  enum class Kind : std::uint8_t {
    kNotAnObject,       // the template itself
    kInvalidDynamic,    // a ".$" value that is no string, or no valid path or call
    kCollision,         // "a" and "a.$" in one object
    kTooDeep,           // nested deeper than kMaxTemplateDepth
  };
  Kind kind = Kind::kNotAnObject;
  std::string key;     // as written, e.g. "value.$"; empty for kNotAnObject
  std::string detail;  // what was wrong, e.g. the path's parse error
};

// AWS's text for kInvalidDynamic: "The value for the field 'value.$' must be a
// valid JSONPath or a valid intrinsic function call".
std::string invalid_dynamic_value_message(std::string_view written_key);

// One line per fault: AWS's text where AWS has one, ours otherwise.
std::string to_string(const TemplateFault& fault);

// Every fault in the template, in document order, or the compiled template.
Result<PayloadTemplate, std::vector<TemplateFault>> compile_template(const Value& object);

// Keys without ".$" whose string value reads like a path ("$.", "$[", "$$")
// or an intrinsic call, at any depth: likely a forgotten ".$".
std::vector<std::string> keys_that_look_dynamic(const Value& object);

}  // namespace vorn::aws

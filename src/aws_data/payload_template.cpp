#include "payload_template.hpp"

#include <unordered_map>

#include "aws_data/hash_map_order.hpp"

namespace vorn::aws {

namespace {

constexpr std::string_view kDynamicSuffix = ".$";

bool is_dynamic_key(std::string_view key) { return key.ends_with(kDynamicSuffix); }

std::string_view output_key(std::string_view key) {
  return is_dynamic_key(key) ? key.substr(0, key.size() - kDynamicSuffix.size()) : key;
}

std::string article_kind(Kind kind) {
  return std::string(kind == Kind::kArray || kind == Kind::kObject ? "an " : "a ") +
         std::string(kind_name(kind));
}

// Walks the template once, collecting every fault rather than stopping at the
// first, so the checker can report them all in one pass.
class Compiler {
 public:
  std::vector<TemplateFault> faults;

  TemplateNode node(const Value& value, std::size_t depth, std::string_view key) {
    if (depth > kMaxTemplateDepth) {
      faults.push_back({TemplateFault::Kind::kTooDeep, std::string(key),
                        "The template is nested more than 1000 levels deep"});
      return {};
    }
    if (value.is_object()) return object(value, depth);
    if (value.is_array()) return array(value, depth, key);
    TemplateNode literal;
    literal.literal = value;
    return literal;
  }

 private:
  TemplateNode object(const Value& value, std::size_t depth) {
    TemplateNode out;
    out.kind = TemplateNode::Kind::kObject;
    bool has_dynamic = false;
    // Output key -> the key that first gave it, to find "a" beside "a.$".
    std::unordered_map<std::string_view, std::string_view> seen;
    for (const Member& member : value.members()) {
      const std::string_view key = output_key(member.key);
      const auto [earlier, fresh] = seen.emplace(key, member.key);
      if (!fresh) {
        faults.push_back({TemplateFault::Kind::kCollision, member.key,
                          "The fields '" + std::string(earlier->second) + "' and '" + member.key +
                              "' both give the field '" + std::string(key) + "'"});
      }
      TemplateMember compiled{std::string(key), member.key, {}};
      if (is_dynamic_key(member.key)) {
        compiled.value = dynamic(member.value, member.key);
        has_dynamic = true;
      } else {
        compiled.value = node(member.value, depth + 1, member.key);
        has_dynamic = has_dynamic || compiled.value.kind != TemplateNode::Kind::kLiteral;
      }
      out.members.push_back(std::move(compiled));
    }
    // Not a conditional expression: that would copy `out`, and with it every
    // level below, making a deep template quadratic to compile.
    if (has_dynamic) {
      out.output_order = output_order(out.members);
      return out;
    }
    return literal(value);
  }

  // Empty when the output keeps template order. Kept out of line: object()
  // recurses once per nesting level, and these locals would otherwise take
  // room in every level's frame.
  [[gnu::noinline]] static std::vector<std::uint32_t> output_order(
      const std::vector<TemplateMember>& members) {
    std::vector<std::uint32_t> order;
    std::vector<std::uint32_t> dynamic_members;
    std::vector<std::string_view> dynamic_names;
    for (std::uint32_t i = 0; i < members.size(); ++i) {
      if (is_dynamic_key(members[i].written_key)) {
        dynamic_members.push_back(i);
        dynamic_names.push_back(members[i].key);
      } else {
        order.push_back(i);
      }
    }
    for (const std::size_t position : hash_map_order(dynamic_names)) {
      order.push_back(dynamic_members[position]);
    }
    for (std::uint32_t i = 0; i < order.size(); ++i) {
      if (order[i] != i) return order;
    }
    return {};
  }

  // Arrays carry no keys of their own; a fault inside names the member holding the array.
  TemplateNode array(const Value& value, std::size_t depth, std::string_view key) {
    TemplateNode out;
    out.kind = TemplateNode::Kind::kArray;
    bool has_dynamic = false;
    for (const Value& item : value.items()) {
      out.items.push_back(node(item, depth + 1, key));
      has_dynamic = has_dynamic || out.items.back().kind != TemplateNode::Kind::kLiteral;
    }
    if (has_dynamic) return out;
    return literal(value);
  }

  TemplateNode dynamic(const Value& value, const std::string& key) {
    TemplateNode out;
    if (!value.is_string()) {
      invalid(key, "the value is " + article_kind(value.kind()) + ", not a string");
      return out;
    }
    const std::string_view text = value.as_string();
    if (text.starts_with('$')) {
      auto path = JsonPath::parse(text);
      if (!path.ok()) {
        invalid(key, "invalid path: " + to_string(path.error()));
        return out;
      }
      out.kind = TemplateNode::Kind::kPath;
      out.path = std::move(path).value();
      return out;
    }
    auto call = parse_intrinsic_call(text);
    if (!call.ok()) {
      invalid(key, "invalid intrinsic call: " + to_string(call.error()));
      return out;
    }
    out.kind = TemplateNode::Kind::kCall;
    out.call = std::make_shared<const IntrinsicCall>(std::move(call).value());
    return out;
  }

  void invalid(const std::string& key, std::string detail) {
    faults.push_back({TemplateFault::Kind::kInvalidDynamic, key, std::move(detail)});
  }

  static TemplateNode literal(const Value& value) {
    TemplateNode out;
    out.literal = value;
    return out;
  }
};

bool looks_dynamic(const Value& value) {
  if (!value.is_string()) return false;
  const std::string_view text = value.as_string();
  return text.starts_with("$.") || text.starts_with("$[") || text.starts_with("$$") ||
         looks_like_intrinsic_call(text);
}

void collect_dynamic_looking(const Value& value, std::size_t depth,
                             std::vector<std::string>& keys) {
  if (depth > kMaxTemplateDepth) return;
  for (const Value& item : value.items()) collect_dynamic_looking(item, depth + 1, keys);
  for (const Member& member : value.members()) {
    if (is_dynamic_key(member.key)) continue;
    if (looks_dynamic(member.value)) keys.push_back(member.key);
    collect_dynamic_looking(member.value, depth + 1, keys);
  }
}

}  // namespace

std::string invalid_dynamic_value_message(std::string_view written_key) {
  return "The value for the field '" + std::string(written_key) +
         "' must be a valid JSONPath or a valid intrinsic function call";
}

std::string to_string(const TemplateFault& fault) {
  if (fault.kind == TemplateFault::Kind::kInvalidDynamic) {
    return invalid_dynamic_value_message(fault.key);
  }
  return fault.detail;
}

Result<PayloadTemplate, std::vector<TemplateFault>> compile_template(const Value& object) {
  if (!object.is_object()) {
    return fail(std::vector<TemplateFault>{
        {TemplateFault::Kind::kNotAnObject, "",
         "A payload template must be an object, not " + article_kind(object.kind())}});
  }
  Compiler compiler;
  PayloadTemplate compiled{compiler.node(object, 1, "")};
  if (!compiler.faults.empty()) return fail(std::move(compiler.faults));
  return compiled;
}

std::vector<std::string> keys_that_look_dynamic(const Value& object) {
  std::vector<std::string> keys;
  collect_dynamic_looking(object, 1, keys);
  return keys;
}

}  // namespace vorn::aws

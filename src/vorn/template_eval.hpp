// Template evaluation: the object a Parameters or ResultSelector template
// describes, built on encoded input without decoding it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "vorn/ir/template.hpp"
#include "vorn/path_ops.hpp"
#include "vorn/value_format.hpp"

namespace vorn {

// A template's object, resolved against an input but not yet written: each
// member's key and value bytes as views (literals into the IR, references
// into the input), in key order. Valid while the IR and the input are.
// As a PlacedValue it writes itself straight into a placement's result.
class TemplateObject final : public PlacedValue {
 public:
  // One member per template entry: a literal's bytes as they are, a
  // reference's value at its path in `input`. Members are ordered by key
  // bytes whatever the order of the entries; entries with equal keys are all
  // kept, in stored order. Absent when `input` is not a value, a reference
  // does not resolve or its value is cut short, or the object would exceed a
  // limit of the format (a member nested so deep that the object around it
  // would nest deeper than kMaxNestingDepth included).
  static std::optional<TemplateObject> resolve(const ir::TemplateIr& templ, Bytes input);

  std::size_t size() const override { return size_; }
  std::uint8_t* write(std::uint8_t* out) const override;
  bool nests_within(std::size_t levels) const override;
  std::vector<std::uint8_t> encode() const;

  // Only resolve() makes one (built in place in its optional).
  struct Key {
   private:
    friend TemplateObject;
    Key() = default;
  };
  explicit TemplateObject(Key) {}

 private:
  std::span<const ObjectEntry> entries() const {
    return heap_.empty() ? std::span<const ObjectEntry>(inline_.entries, count_)
                         : std::span<const ObjectEntry>(heap_);
  }

  // Templates are small; their members live here unless one is not. Left
  // unconstructed until resolve() fills them, so that nothing clears space a
  // template does not use.
  static constexpr std::size_t kInlineEntries = 16;
  union InlineEntries {
    InlineEntries() {}
    ObjectEntry entries[kInlineEntries];
  };
  InlineEntries inline_;
  std::vector<ObjectEntry> heap_;
  std::size_t count_ = 0;
  std::size_t size_ = 0;
};

// The encoded object of TemplateObject::resolve(), or absent alike.
std::optional<std::vector<std::uint8_t>> evaluate_template(const ir::TemplateIr& templ,
                                                           Bytes input);

}  // namespace vorn

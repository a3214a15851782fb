// Template evaluation: the object a Parameters or ResultSelector template
// describes, built on encoded input without decoding it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "vorn/ir/template.hpp"
#include "vorn/value_format.hpp"

namespace vorn {

// The encoded object with one member per template entry: a literal's bytes
// as they are, a reference's value copied from `input` at its path. Members
// are ordered by key bytes whatever the order of the entries; entries with
// equal keys are all written, in stored order. Absent when `input` is not a
// value, a reference does not resolve (no partial object is produced), or
// the object would exceed a limit of the format.
std::optional<std::vector<std::uint8_t>> evaluate_template(const ir::TemplateIr& templ,
                                                           Bytes input);

}  // namespace vorn

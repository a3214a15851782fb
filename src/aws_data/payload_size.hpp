// Measuring a payload as AWS's limit counts it: the byte length of its
// compact UTF-8 JSON text (numbers as written, escapes as written), without
// building that text.
//
// The walk stops as soon as the count passes the bound. Values share their
// nodes, so a small value can stand for an enormous text (a deep scan's
// array repeats whole subtrees); a full count of such a value would cost as
// much as writing it out.
#pragma once

#include <cstddef>

#include "aws_data/value.hpp"

namespace vorn::aws {

// The length of write_json(value) when it is at most `bound`; otherwise some
// number greater than `bound`.
std::size_t compact_size_up_to(const Value& value, std::size_t bound);

}  // namespace vorn::aws

// The order in which AWS Step Functions writes the members it computes: that
// of a Java HashMap holding them, which iterates its buckets in index order
// and a bucket's members in insertion order. A member's bucket is
// (h ^ (h >>> 16)) & (n - 1), with h the Java String.hashCode of its name
// (over UTF-16 code units, wrapping at 32 bits) and n the table size: 16,
// doubled while the member count exceeds three quarters of it.
//
// Payload templates write their ".$" members in this order, after the
// members copied as written; States.JsonMerge writes all of its members so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vorn::aws {

// Java's String.hashCode of UTF-8 `text`.
std::int32_t java_string_hash(std::string_view text);

// The positions of `names` (in insertion order) in the order the HashMap
// iterates them.
std::vector<std::size_t> hash_map_order(std::span<const std::string_view> names);

}  // namespace vorn::aws

// The encodings of a definition's static data (Pass results, template
// literals, the schemas of Pass data), made once by validation while it
// checks that they fit the binary value format, and handed to lowering, which
// would otherwise walk the same values again to encode them.
//
// It belongs to the definition it was made from and is only meaningful with
// it: entries follow the definition's states by position and each template's
// literal members in key order.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vorn::build {

using EncodedBytes = std::vector<std::uint8_t>;

struct EncodedStateData {
  // Task and Pass: the encoding of each literal (non-reference) member of
  // Parameters, in key order. Task: the same for ResultSelector.
  std::vector<EncodedBytes> parameters;
  std::vector<EncodedBytes> result_selector;
  // Pass: the Result and the encodings of the schemas of the Result and of
  // the whole Parameters template (reference keys included).
  std::optional<EncodedBytes> result;
  std::optional<EncodedBytes> result_schema;
  std::optional<EncodedBytes> parameters_schema;
};

struct EncodedStaticData {
  // One entry per state, in the definition's state order.
  std::vector<EncodedStateData> states;
};

}  // namespace vorn::build

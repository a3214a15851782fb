// The one rule that makes a template key a reference: at least two bytes,
// ending in ".$". Only a template's top level is read this way.
#pragma once

#include <string_view>

namespace vorn {

inline bool is_reference_key(std::string_view key) {
  return key.size() >= 2 && key.ends_with(".$");
}

// The output key of a reference key: without its ".$".
inline std::string_view reference_base(std::string_view key) {
  return key.substr(0, key.size() - 2);
}

}  // namespace vorn

// Strict UTF-8 validation (no overlong forms, no surrogates, nothing above
// U+10FFFF), for text that arrives as raw bytes rather than through the reader.
#pragma once

#include <string_view>

namespace vorn {

bool is_valid_utf8(std::string_view bytes);

}  // namespace vorn

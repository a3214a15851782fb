// String ordering as AWS Step Functions orders Choice operands: by UTF-16
// code units, the order of Java's String.compareTo, with no trimming, case
// folding or normalisation.
//
// Values hold UTF-8, whose byte order is code point order. The two orders
// differ only where a character above U+FFFF (two UTF-16 surrogates, 0xD800
// to 0xDFFF) meets one from U+E000 to U+FFFF, so comparing bytes is not
// enough. Each byte that is not part of a UTF-8 character counts as one unit
// above every UTF-16 unit, so the order stays total on any bytes: strings
// compare equal exactly when their bytes are equal.
#pragma once

#include <compare>
#include <string_view>

namespace vorn::aws {

std::strong_ordering compare_utf16(std::string_view a, std::string_view b);

}  // namespace vorn::aws

// Quoted text in the renderings of paths and errors: names in double quotes,
// single characters in single quotes, with the same escapes in both.
//
// Escaped: the quote character itself and backslash (with a backslash), tab,
// line feed and carriage return (as \t, \n, \r), and every other control
// character, C0, DEL and C1 (as \u{hex}, lowercase, no leading zeros).
// Everything else is written as it is, including bytes that are not UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace xvorn {

// Appends `text` in double quotes; a single quote inside is not escaped.
void append_quoted(std::string& out, std::string_view text);

// Appends `character` in single quotes; a double quote inside is not escaped.
void append_quoted_char(std::string& out, char32_t character);

}  // namespace xvorn

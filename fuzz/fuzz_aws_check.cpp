// Any bytes as an AWS-dialect definition: the check never crashes, gives a
// definition exactly when no diagnostic is an error, and every diagnostic
// says what is wrong and points inside the text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "aws_build/check.hpp"
#include "fuzz_input.hpp"

using vorn_fuzz::check;
namespace aws = vorn::aws;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const aws::CheckOutcome outcome = aws::check_definition(text);

  check(outcome.definition.has_value() == !aws::has_errors(outcome.diagnostics));
  std::size_t lines = 1;
  for (char c : text) lines += c == '\n';
  for (const aws::Diagnostic& d : outcome.diagnostics) {
    check(!d.code.empty() && !d.message.empty());
    check(d.line <= lines && d.column <= text.size() + 1);
    check((d.line == 0) == (d.column == 0));
  }
  // An unreadable text has no document; a readable one always does.
  if (!outcome.diagnostics.empty() &&
      (outcome.diagnostics[0].code == "INVALID_JSON_DESCRIPTION" ||
       outcome.diagnostics[0].code == "TOO_DEEPLY_NESTED")) {
    check(outcome.document.is_null() && outcome.diagnostics.size() == 1);
  }
  return 0;
}

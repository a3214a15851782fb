// Any bytes as a timestamp: a text is refused or names an instant within a
// day of the four-digit years, and what is written for that instant reads
// back as it, cut to the millisecond.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "aws_data/timestamp.hpp"
#include "fuzz_input.hpp"

using vorn_fuzz::check;
namespace aws = vorn::aws;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto instant = aws::parse_timestamp(text);
  if (!instant) return 0;
  // 0000-01-01T00:00:00+23:59 to 9999-12-31T23:59:59-23:59.
  check(instant->seconds >= -62167219200 - 86340 && instant->seconds <= 253402300799 + 86340);
  check(instant->nanos < 1'000'000'000u);
  // An offset can move an instant into year -1 or 10000, which is written
  // with a sign and so is not read back; the rest round-trips.
  if (instant->seconds < -62167219200 || instant->seconds > 253402300799) return 0;
  const auto written = aws::format_timestamp(*instant);
  const auto back = aws::parse_timestamp(written);
  check(back.has_value() && back->seconds == instant->seconds &&
        back->nanos == instant->nanos / 1'000'000u * 1'000'000u);
  check(aws::format_timestamp(*back) == written);
  return 0;
}

// Timestamp: an instant as AWS Step Functions reads it from a Choice operand,
// a Wait state's Timestamp or a TimestampPath value, and writes it into the
// context object ($$.Execution.StartTime, $$.State.EnteredTime).
//
// The accepted text is the RFC 3339 profile AWS accepts, and nothing wider:
// "YYYY-MM-DDThh:mm:ss[.f]" followed by "Z" or "+hh:mm" / "-hh:mm", with an
// upper-case T and Z, a four-digit year, a real calendar date, hours 00-23,
// minutes and seconds 00-59 (no leap second) and 1 to 9 fraction digits.
// Everything is plain arithmetic on the proleptic Gregorian calendar; no
// locale or time zone database is consulted.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorn::aws {

struct Timestamp {
  std::int64_t seconds = 0;  // since 1970-01-01T00:00:00Z
  std::uint32_t nanos = 0;   // 0 .. 999 999 999, always forward in time
  friend auto operator<=>(const Timestamp&, const Timestamp&) = default;
};

// A proleptic Gregorian date and its day number since 1970-01-01 (Howard
// Hinnant's algorithms), for callers that convert instants to and from other
// calendars' types.
struct CivilDate {
  std::int64_t year;
  int month;  // 1 .. 12
  int day;    // 1 .. 31
};
std::int64_t days_from_civil(std::int64_t year, int month, int day);
CivilDate civil_from_days(std::int64_t days);

// The instant `text` names, or nullopt when it is not in the profile above.
std::optional<Timestamp> parse_timestamp(std::string_view text);

// "YYYY-MM-DDThh:mm:ss.sssZ" in UTC, exactly three fraction digits (the
// nanoseconds truncated), as AWS writes its context times. A year outside
// 0000-9999 is written with its sign and at least four digits.
std::string format_timestamp(Timestamp instant);

}  // namespace vorn::aws

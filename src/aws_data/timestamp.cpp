#include "aws_data/timestamp.hpp"

#include <cstdio>

namespace vorn::aws {

namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;

bool is_leap_year(std::int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int days_in_month(std::int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

// Reads the text left to right; every read fails (returns false) on the
// first character out of place and leaves the reader where it was.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool at_end() const { return pos_ == text_.size(); }

  // Exactly `count` ASCII digits, as a number no larger than `max`.
  bool digits(std::size_t count, int max, int& out) {
    if (text_.size() - pos_ < count) return false;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const char c = text_[pos_ + i];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > max) return false;
    pos_ += count;
    out = value;
    return true;
  }

  bool literal(char c) {
    if (at_end() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  // One to nine digits after a '.', scaled to nanoseconds.
  bool fraction(std::uint32_t& nanos) {
    std::size_t count = 0;
    std::uint32_t value = 0;
    while (pos_ + count < text_.size() && text_[pos_ + count] >= '0' &&
           text_[pos_ + count] <= '9') {
      if (count == 9) return false;
      value = value * 10 + static_cast<std::uint32_t>(text_[pos_ + count] - '0');
      ++count;
    }
    if (count == 0) return false;
    for (std::size_t i = count; i < 9; ++i) value *= 10;
    pos_ += count;
    nanos = value;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// "Z" gives 0; "+hh:mm" / "-hh:mm" the offset east of UTC in seconds.
bool read_zone(Cursor& in, std::int64_t& offset_seconds) {
  if (in.literal('Z')) {
    offset_seconds = 0;
    return true;
  }
  int sign = 0;
  if (in.literal('+')) {
    sign = 1;
  } else if (in.literal('-')) {
    sign = -1;
  } else {
    return false;
  }
  int hours = 0;
  int minutes = 0;
  if (!in.digits(2, 23, hours) || !in.literal(':') || !in.digits(2, 59, minutes)) return false;
  offset_seconds = sign * (hours * 3600 + minutes * 60);
  return true;
}

}  // namespace

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil): eras of 400 years starting on March 1st, so the leap day
// falls at the end of each year of the era.
std::int64_t days_from_civil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const int shifted_month = month > 2 ? month - 3 : month + 9;
  const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146'097 + day_of_era - 719'468;
}

// The inverse of days_from_civil.
CivilDate civil_from_days(std::int64_t days) {
  days += 719'468;
  const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
  const std::int64_t day_of_era = days - era * 146'097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const int day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  const int month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}


std::optional<Timestamp> parse_timestamp(std::string_view text) {
  Cursor in(text);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!in.digits(4, 9999, year) || !in.literal('-') || !in.digits(2, 12, month) || month == 0 ||
      !in.literal('-') || !in.digits(2, 31, day) || day == 0 ||
      day > days_in_month(year, month)) {
    return std::nullopt;
  }
  if (!in.literal('T') || !in.digits(2, 23, hour) || !in.literal(':') ||
      !in.digits(2, 59, minute) || !in.literal(':') || !in.digits(2, 59, second)) {
    return std::nullopt;
  }
  std::uint32_t nanos = 0;
  if (in.literal('.') && !in.fraction(nanos)) return std::nullopt;
  std::int64_t offset_seconds = 0;
  if (!read_zone(in, offset_seconds) || !in.at_end()) return std::nullopt;

  const std::int64_t local_seconds =
      days_from_civil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
  return Timestamp{local_seconds - offset_seconds, nanos};
}

std::string format_timestamp(Timestamp instant) {
  std::int64_t days = instant.seconds / kSecondsPerDay;
  std::int64_t second_of_day = instant.seconds % kSecondsPerDay;
  if (second_of_day < 0) {
    second_of_day += kSecondsPerDay;
    days -= 1;
  }
  const CivilDate date = civil_from_days(days);
  const long long hour = second_of_day / 3600;
  const long long minute = second_of_day / 60 % 60;
  const long long second = second_of_day % 60;
  const unsigned millis = (instant.nanos % 1'000'000'000u) / 1'000'000u;

  char buffer[64];
  const bool plain_year = date.year >= 0 && date.year <= 9999;
  std::snprintf(buffer, sizeof buffer,
                plain_year ? "%04lld-%02d-%02dT%02lld:%02lld:%02lld.%03uZ"
                           : "%+05lld-%02d-%02dT%02lld:%02lld:%02lld.%03uZ",
                static_cast<long long>(date.year), date.month, date.day, hour, minute, second,
                millis);
  return buffer;
}

}  // namespace vorn::aws

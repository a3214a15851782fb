#include "time_conversion.hpp"

#include <datetime.h>

#include "aws_data/timestamp.hpp"

namespace pyvorn::aws_binding {

namespace {

using vorn::aws::Instant;

constexpr std::int64_t kSecondsPerDay = 86'400;

// The datetime C API is reached through a capsule imported on first use.
bool datetime_api_ready() {
  if (PyDateTimeAPI == nullptr) PyDateTime_IMPORT;
  return PyDateTimeAPI != nullptr;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

std::optional<Instant> from_datetime(PyObject* object) {
  // An aware datetime is first moved to UTC by Python's own rules, so
  // offsets and fold are handled as datetime handles them.
  py::Ref utc;
  PyObject* tzinfo = PyDateTime_DATE_GET_TZINFO(object);
  if (tzinfo != Py_None) {
    utc = py::Ref::steal(
        PyObject_CallMethod(object, "astimezone", "O", PyDateTime_TimeZone_UTC));
    if (!utc) return std::nullopt;
    object = utc.get();
  }
  const std::int64_t days =
      vorn::aws::days_from_civil(PyDateTime_GET_YEAR(object), PyDateTime_GET_MONTH(object),
                                 PyDateTime_GET_DAY(object));
  const std::int64_t seconds = days * kSecondsPerDay +
                               PyDateTime_DATE_GET_HOUR(object) * 3600 +
                               PyDateTime_DATE_GET_MINUTE(object) * 60 +
                               PyDateTime_DATE_GET_SECOND(object);
  return Instant{seconds,
                 static_cast<std::uint32_t>(PyDateTime_DATE_GET_MICROSECOND(object)) * 1000u};
}

}  // namespace

py::Ref instant_to_datetime(Instant at) {
  if (!datetime_api_ready()) return {};
  const std::int64_t days = floor_div(at.seconds, kSecondsPerDay);
  const std::int64_t second_of_day = at.seconds - days * kSecondsPerDay;
  const vorn::aws::CivilDate date = vorn::aws::civil_from_days(days);
  if (date.year < 1 || date.year > 9999) {
    py::raise(PyExc_OverflowError, "the instant " + vorn::aws::format_timestamp(at) +
                                       " is outside the years a datetime holds (1 to 9999)");
    return {};
  }
  const int milliseconds = static_cast<int>(at.nanos / 1'000'000);
  return py::Ref::steal(PyDateTimeAPI->DateTime_FromDateAndTime(
      static_cast<int>(date.year), date.month, date.day, static_cast<int>(second_of_day / 3600),
      static_cast<int>(second_of_day / 60 % 60), static_cast<int>(second_of_day % 60),
      milliseconds * 1000, PyDateTime_TimeZone_UTC, PyDateTimeAPI->DateTimeType));
}

std::optional<Instant> instant_from_python(PyObject* object, const char* argument) {
  if (!datetime_api_ready()) return std::nullopt;
  if (PyDateTime_Check(object)) return from_datetime(object);
  if (PyUnicode_Check(object)) {
    const auto text = py::utf8_argument(object, argument);
    if (!text) return std::nullopt;
    if (auto instant = vorn::aws::parse_timestamp(*text)) return instant;
    py::raise(PyExc_ValueError, std::string("argument '") + argument +
                                    "': not a timestamp as AWS writes them "
                                    "(\"2024-01-01T00:00:00Z\"): '" +
                                    std::string(*text) + "'");
    return std::nullopt;
  }
  py::raise_argument_type(argument, object, "datetime");
  return std::nullopt;
}

}  // namespace pyvorn::aws_binding

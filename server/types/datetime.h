#ifndef TAVORA_SERVER_TYPES_DATETIME_H_
#define TAVORA_SERVER_TYPES_DATETIME_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace server {

// A point in time as SQL Server counts it: days since 1900-01-01 and
// milliseconds into the day (0 to 86399999).
struct DateTime {
  int64_t days = 0;
  int64_t ms = 0;
};

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kTicksPerDay = 25920000;  // datetime keeps 1/300 seconds

enum class DateParse { kOk, kSyntax, kRange };

// The order of a numeric date's fields when the first is not a four-digit
// year ("01/02/03"): us_english's mdy, or what a CONVERT style names.
enum class DateOrder { kMdy, kDmy, kYmd };

// Reads a date and/or time as SQL Server does under us_english: "01/01/2001",
// "2001-01-01", "20010101", "010101", "2001", "Jan  1 2001 12:00AM",
// "01 Jan 2001 10:20:30:123", "2001-01-01T10:20:30.123", "10:20" and the
// empty string (1900-01-01). A well-formed text naming a day or time that
// does not exist is kRange. Milliseconds are read as written, not rounded.
DateParse ParseDateTime(std::string_view text, DateTime& out, DateOrder order = DateOrder::kMdy);

// datetime's precision: milliseconds round to the nearest 1/300 second
// (.000, .003, .007), and 23:59:59.999 carries into the next day.
DateTime RoundToTicks(const DateTime& value);
// The 1/300-second ticks of a time of day, as datetime's binary form holds them.
int64_t TicksOfDay(int64_t ms);
// A day and ticks into it; a whole day of ticks carries into the next day.
DateTime FromTicks(int64_t days, int64_t ticks);

// Whether the value lies in datetime's (1753-9999) or smalldatetime's
// (1900-01-01 to 2079-06-06) range.
bool InDateTimeRange(const DateTime& value);
bool InSmallDateTimeRange(const DateTime& value);

// smalldatetime keeps whole minutes: the value rounds to datetime's ticks
// first, so 29.998 seconds round down and 29.999 up.
DateTime RoundToMinute(const DateTime& value);

// "2001-01-01 00:00:00.000": the stored form (smalldatetime uses ":00.000" too
// after rounding, so every stored form parses back).
std::string FormatDateTime(const DateTime& value);
// A moment of the system clock as local (or UTC) datetime, rounded to its
// ticks.
DateTime DateTimeAt(std::chrono::system_clock::time_point when, bool utc);

// Days since 1900-01-01 of a civil date, and back.
int64_t DaysFromCivil(int64_t year, int month, int day);
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day);

}  // namespace server

#endif  // TAVORA_SERVER_TYPES_DATETIME_H_
